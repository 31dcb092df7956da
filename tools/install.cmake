# Installation and the Debian package.
#
#   cmake --install build --prefix /usr/local      (or a scratch folder)
#   cd build && cpack -G DEB                       -> tarnovelle-connection_<version>_<arch>.deb
#
# Layout below the prefix:
#   lib/tarnovelle-connection/   TarnovelleConnection, TarnovelleConnectionDemo and the firmware
#                                file next to them, where the application looks for it
#   bin/                         tarnovelle-connection and tarnovelle-connection-demo (launchers),
#                                tarnovelle-emulator, tarnovelle-seq
#   share/applications/          the two .desktop entries
#   share/icons/hicolor/256x256/apps/tarnovelle-connection.png

set(TARNOVELLE_APP_DIR "lib/tarnovelle-connection")
set(TARNOVELLE_PACKAGING_DIR "${CMAKE_SOURCE_DIR}/packaging")

# Only what the package holds is built before an install, not the tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

# The application takes the path it was started by for its own location, and looks for the
# firmware file there; a symbolic link in bin/ would send it looking in bin/. Each program
# gets a small launcher that starts it by its real path instead.
function(tarnovelle_install_app target launcher)
    if(NOT TARGET ${target})
        return()
    endif()

    install(TARGETS ${target} RUNTIME DESTINATION "${TARNOVELLE_APP_DIR}")

    set(TARNOVELLE_LAUNCHED "${target}")
    configure_file("${TARNOVELLE_PACKAGING_DIR}/launcher.sh.in" "${CMAKE_BINARY_DIR}/packaging/${launcher}" @ONLY)
    install(PROGRAMS "${CMAKE_BINARY_DIR}/packaging/${launcher}" DESTINATION bin)
endfunction()

tarnovelle_install_app(TarnovelleConnection tarnovelle-connection)
tarnovelle_install_app(TarnovelleConnectionDemo tarnovelle-connection-demo)

install(FILES "${CMAKE_BINARY_DIR}/bin/${TARNOVELLE_FIRMWARE_FILE}" DESTINATION "${TARNOVELLE_APP_DIR}")

# The command-line programs are defined by fragments read after this one.
function(tarnovelle_install_tools)
    foreach(tool IN ITEMS tarnovelle-emulator tarnovelle-seq)
        if(TARGET ${tool})
            install(TARGETS ${tool} RUNTIME DESTINATION bin)
        endif()
    endforeach()
endfunction()

cmake_language(DEFER CALL tarnovelle_install_tools)

install(FILES "${TARNOVELLE_PACKAGING_DIR}/tarnovelle-connection.desktop"
              "${TARNOVELLE_PACKAGING_DIR}/tarnovelle-connection-demo.desktop"
        DESTINATION share/applications)
install(FILES "${CMAKE_SOURCE_DIR}/resources/icon.png"
        DESTINATION share/icons/hicolor/256x256/apps
        RENAME tarnovelle-connection.png)

# --------------------------------------------------------------------------------------------
# The Debian package.

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "tarnovelle-connection")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Tarnovelle Connection developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Editor and firmware updater for the Tarnovelle synthesizer")
set(CPACK_PACKAGE_DESCRIPTION
    "Tarnovelle Connection finds a Tarnovelle synthesizer on the computer's MIDI ports, edits its\n"
    "fourteen global settings on a picture of its panel, resets, saves and loads its eight\n"
    "sequences (.tvseq files and Standard MIDI Files) and updates its firmware.\n"
    "The package also holds Tarnovelle Connection Demo, the same application with a built-in\n"
    "emulated instrument, and tarnovelle-emulator, which publishes the emulated instrument on\n"
    "virtual ALSA MIDI ports.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES TRUE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tarnovelle Connection developers <developers@tarnovelle.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION "sound")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")

# dpkg-shlibdeps finds the libraries the programs link (ALSA, FreeType, libpng, libjpeg, zlib,
# the C++ runtime). JUCE opens the X11 libraries itself at run time, so the linker never sees
# them, and it finds its fonts through fontconfig's configuration without linking fontconfig:
# these are named here. libfontconfig1 brings that configuration and a font with it.
find_program(TARNOVELLE_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(TARNOVELLE_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libx11-6, libxext6, libxrandr2, libxinerama1, libxcursor1, libfontconfig1")
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS
        "libc6, libstdc++6, libgcc-s1, libasound2, libfreetype6, libfontconfig1, libpng16-16, libjpeg62-turbo, "
        "zlib1g, libx11-6, libxext6, libxrandr2, libxinerama1, libxcursor1")
    string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DEPENDS "${CPACK_DEBIAN_PACKAGE_DEPENDS}")
endif()
# Opening the maker's web page, and the system's file dialogs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "zenity")

include(CPack)
