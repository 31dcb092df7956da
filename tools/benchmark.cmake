# tarnovelle_benchmark: the connection, sequence and firmware figures against the emulated
# instrument, and the demo's start, memory and idle load against a bare JUCE window
# (tarnovelle_bare_window) under an X server. Not part of the tests; run it with
#
#   make benchmark        (a Release build in build-bench, under Xvfb; see BENCHMARKS.md)

add_executable(tarnovelle_bare_window "${CMAKE_CURRENT_LIST_DIR}/main_bare_window.cpp")
target_link_libraries(tarnovelle_bare_window PRIVATE tarnovelle_juce_gui tarnovelle_warnings)

find_package(X11)

if(X11_FOUND)
    add_executable(tarnovelle_benchmark "${CMAKE_CURRENT_LIST_DIR}/main_benchmark.cpp"
        "${CMAKE_CURRENT_LIST_DIR}/EditorReadBenchmark.cpp")
    target_link_libraries(tarnovelle_benchmark PRIVATE tarnovelle_core X11::X11 tarnovelle_warnings)

    # The window figures start these two from the benchmark's own folder.
    add_dependencies(tarnovelle_benchmark tarnovelle_bare_window)
    if(TARGET TarnovelleConnectionDemo)
        add_dependencies(tarnovelle_benchmark TarnovelleConnectionDemo)
    endif()
endif()
