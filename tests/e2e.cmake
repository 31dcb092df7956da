# End-to-end tests: the built demo application driven through X (Xvfb, xdotool, import) as a
# person would drive it, with the emulated instrument's memory file checked before and after.
# Each test starts an X server of its own; screenshots and logs land in ${CMAKE_BINARY_DIR}/e2e.
#
#   ctest -L e2e                       all of them
#   tests/e2e/demo_e2e.py --list       their names
#
# The demo refuses a second instance machine-wide (a lock file in /var/tmp), so the tests run
# one at a time.

if(TARGET TarnovelleConnectionDemo)
    find_package(Python3 COMPONENTS Interpreter REQUIRED)

    set(TARNOVELLE_E2E_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/e2e/demo_e2e.py")
    set(TARNOVELLE_E2E_TESTS
        startup_update_declined
        startup_update_accepted
        settings_clicks
        connect_off_and_on
        sequences_save_and_load
        sequence_editor
        second_instance)

    foreach(name IN LISTS TARNOVELLE_E2E_TESTS)
        add_test(NAME e2e_${name}
            COMMAND "${Python3_EXECUTABLE}" "${TARNOVELLE_E2E_SCRIPT}" ${name}
                    --app $<TARGET_FILE:TarnovelleConnectionDemo> --out "${CMAKE_BINARY_DIR}/e2e")
        set_tests_properties(e2e_${name} PROPERTIES
            LABELS e2e
            TIMEOUT 180
            RESOURCE_LOCK tarnovelle_demo_instance)
    endforeach()
endif()
