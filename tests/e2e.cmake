# End-to-end tests: the built demo application driven through X (Xvfb, xdotool, import) as a
# person would drive it, with the emulated instrument's memory file checked before and after.
# Each test starts an X server of its own; screenshots and logs land in ${CMAKE_BINARY_DIR}/e2e.
#
#   ctest -L e2e                       all of them
#   tests/e2e/demo_e2e.py --list       their names
#
# Each test gives its demos a runtime folder of their own, which holds the single-instance lock;
# they still run one at a time, as each drives a whole X server and demo.

if(TARGET TarnovelleConnectionDemo)
    find_package(Python3 COMPONENTS Interpreter REQUIRED)

    set(TARNOVELLE_E2E_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/e2e/demo_e2e.py")
    set(TARNOVELLE_E2E_TESTS
        startup_update_declined
        startup_update_accepted
        settings_clicks
        connect_off_and_on
        sequences_save_and_load
        second_instance
        quit_during_detection
        quit_at_retry_box
        quit_at_update_offer
        quit_during_update_pause
        quit_during_update_transfer
        quit_in_file_chooser
        quit_at_parse_error
        instance_starts_close_together)

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
