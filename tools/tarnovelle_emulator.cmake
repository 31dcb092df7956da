# tarnovelle-emulator: the emulated instrument on virtual ALSA sequencer ports named
# "Tarnovelle", for trying the application or any MIDI tool without hardware.
add_executable(tarnovelle-emulator "${CMAKE_CURRENT_LIST_DIR}/main_tarnovelle_emulator.cpp")
target_link_libraries(tarnovelle-emulator PRIVATE tarnovelle_core PkgConfig::ALSA tarnovelle_warnings)
