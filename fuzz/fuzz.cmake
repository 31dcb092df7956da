# libFuzzer targets, one per fuzz/fuzz_<name>.cpp, built with clang:
#
#   cmake -S . -B build-fuzz -G Ninja -DTARNOVELLE_BUILD_FUZZERS=ON -DTARNOVELLE_BUILD_TESTS=OFF \
#         -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_C_COMPILER=clang-14
#   cmake --build build-fuzz --target tarnovelle_fuzzers
#   scripts/run-fuzzers.sh [seconds per target]        (or: make fuzz)
#
# Our code gets libFuzzer's coverage instrumentation and AddressSanitizer with
# UndefinedBehaviorSanitizer; the JUCE modules get the sanitizers only. Seed corpora live in
# fuzz/corpus/<name>/; the test suite replays them (tests/core_faults.cpp).

if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "The fuzz targets need clang (libFuzzer): -DCMAKE_CXX_COMPILER=clang++-14")
endif()

set(TARNOVELLE_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)

foreach(library IN ITEMS tarnovelle_juce_core tarnovelle_core)
    target_compile_options(${library} PRIVATE ${TARNOVELLE_FUZZ_SANITIZERS})
endforeach()
target_compile_options(tarnovelle_core PRIVATE -fsanitize=fuzzer-no-link)

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
