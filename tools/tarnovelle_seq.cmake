# tarnovelle-seq: checks .tvseq sequence files and exports them as MIDI files, without the
# instrument, using the same code as the application.
add_executable(tarnovelle-seq "${CMAKE_CURRENT_LIST_DIR}/main_tarnovelle_seq.cpp")
target_link_libraries(tarnovelle-seq PRIVATE tarnovelle_core tarnovelle_warnings)
