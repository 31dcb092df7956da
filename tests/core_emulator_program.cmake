# The tarnovelle-emulator program: its options, and its refusal on a computer without an ALSA
# sequencer (skipped where there is one, since the program would then run until stopped).
add_dependencies(tarnovelle_core_tests tarnovelle-emulator)

set(TARNOVELLE_EMULATOR_CHECK "${CMAKE_CURRENT_LIST_DIR}/core_emulator_program.sh")

add_test(NAME emulator_program_options
    COMMAND sh "${TARNOVELLE_EMULATOR_CHECK}" options $<TARGET_FILE:tarnovelle-emulator>)
add_test(NAME emulator_program_without_sequencer
    COMMAND sh "${TARNOVELLE_EMULATOR_CHECK}" no-sequencer $<TARGET_FILE:tarnovelle-emulator>)
set_tests_properties(emulator_program_options emulator_program_without_sequencer PROPERTIES
    LABELS core TIMEOUT 60 SKIP_RETURN_CODE 77)
