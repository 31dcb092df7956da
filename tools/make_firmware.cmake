# The firmware file that ships with the programs: the image for the emulated instrument,
# enciphered in its container and written next to the executables. A real instrument's
# firmware file from the maker goes in the same place under the same name.

add_executable(make_firmware "${CMAKE_CURRENT_LIST_DIR}/main_make_firmware.cpp")
target_link_libraries(make_firmware PRIVATE tarnovelle_core tarnovelle_warnings)

set(TARNOVELLE_SHIPPED_FIRMWARE "${CMAKE_BINARY_DIR}/bin/${TARNOVELLE_FIRMWARE_FILE}")

add_custom_command(
    OUTPUT "${TARNOVELLE_SHIPPED_FIRMWARE}"
    COMMAND make_firmware "${TARNOVELLE_SHIPPED_FIRMWARE}"
    DEPENDS make_firmware
    COMMENT "Writing the shipped firmware file ${TARNOVELLE_FIRMWARE_FILE}"
    VERBATIM)

add_custom_target(tarnovelle_firmware_file ALL DEPENDS "${TARNOVELLE_SHIPPED_FIRMWARE}")

# The programs and the tests that look for the file next to themselves get it with them.
# They are defined after this fragment, hence the deferred call.
function(tarnovelle_firmware_file_dependencies)
    foreach(target IN ITEMS TarnovelleConnection TarnovelleConnectionDemo tarnovelle_core_tests tarnovelle_gui_tests)
        if(TARGET ${target})
            add_dependencies(${target} tarnovelle_firmware_file)
        endif()
    endforeach()
endfunction()

cmake_language(DEFER CALL tarnovelle_firmware_file_dependencies)
