# libFuzzer targets, one per fuzz/fuzz_<name>.cpp, built with clang; scripts/run-fuzzers.sh
# (or make fuzz) configures build-fuzz, builds them and runs each for a bounded time.
#
# Our code gets libFuzzer's coverage instrumentation and AddressSanitizer with
# UndefinedBehaviorSanitizer; the JUCE modules get the sanitizers only. Seed corpora live in
# fuzz/corpus/<name>/; the test suite replays them (tests/core_faults.cpp).

if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "The fuzz targets need clang (libFuzzer): -DCMAKE_CXX_COMPILER=clang++-14")
endif()

set(TARNOVELLE_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)

target_compile_options(tarnovelle_juce_core PRIVATE ${TARNOVELLE_FUZZ_SANITIZERS})
target_compile_options(tarnovelle_core PRIVATE ${TARNOVELLE_FUZZ_SANITIZERS} -fsanitize=fuzzer-no-link)

file(GLOB TARNOVELLE_FUZZ_SOURCES CONFIGURE_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/fuzz_*.cpp")
add_custom_target(tarnovelle_fuzzers)

foreach(source IN LISTS TARNOVELLE_FUZZ_SOURCES)
    get_filename_component(name "${source}" NAME_WE)
    add_executable(${name} "${source}")
    target_link_libraries(${name} PRIVATE tarnovelle_core tarnovelle_warnings)
    target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}")
    target_compile_options(${name} PRIVATE ${TARNOVELLE_FUZZ_SANITIZERS} -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE ${TARNOVELLE_FUZZ_SANITIZERS} -fsanitize=fuzzer)
    add_dependencies(tarnovelle_fuzzers ${name})
endforeach()
