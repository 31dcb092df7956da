# The command-line tests run the built tarnovelle-seq.
add_dependencies(tarnovelle_core_tests tarnovelle-seq)
target_compile_definitions(tarnovelle_core_tests PRIVATE TARNOVELLE_SEQ_TOOL="$<TARGET_FILE:tarnovelle-seq>")
