# Installs the programs into a scratch root with `cmake --install`, builds the Debian package
# into a scratch folder and unpacks it, and checks every file of both. Needs the programs and
# the firmware file built (the default build target builds them).
add_test(NAME package_install
    COMMAND sh "${CMAKE_CURRENT_LIST_DIR}/package_check.sh" "${CMAKE_BINARY_DIR}" "${CMAKE_COMMAND}" "${CMAKE_CPACK_COMMAND}"
            "${TARNOVELLE_FIRMWARE_FILE}")
set_tests_properties(package_install PROPERTIES LABELS package TIMEOUT 600)
