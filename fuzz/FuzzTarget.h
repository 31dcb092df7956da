#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

/** A fuzz target is one function of the input bytes.

    Built as a libFuzzer program (fuzz/fuzz.cmake), a target file defines the program's
    LLVMFuzzerTestOneInput. The test suite includes the same files with TARNOVELLE_FUZZ_REPLAY
    defined, which turns each target into an ordinary function, and replays the committed
    corpus (fuzz/corpus/<target>/, seeds and every input that once crashed) through it.
*/
#ifdef TARNOVELLE_FUZZ_REPLAY
#define TARNOVELLE_FUZZ_TARGET(name) int name (const uint8_t* data, size_t size)
#else
#define TARNOVELLE_FUZZ_TARGET(name) extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
#endif

/** A property every input must keep; breaking it is a crash like any other. */
#define TARNOVELLE_FUZZ_CHECK(condition)                                                             \
    do                                                                                               \
    {                                                                                                \
        if (! (condition))                                                                           \
        {                                                                                            \
            std::fprintf (stderr, "%s:%d: fuzz check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                            \
        }                                                                                            \
    } while (false)
