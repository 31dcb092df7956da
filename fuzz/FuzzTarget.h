#pragma once

#include "protocol/SysexMessage.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

/** A fuzz target is one function of the input bytes.

    Built as a libFuzzer program (fuzz/CMakeLists.txt), a target file defines the program's
    LLVMFuzzerTestOneInput. The test suite includes the same files with TARNOVELLE_FUZZ_REPLAY
    defined, which turns each target into an ordinary function `name`, and replays the committed
    corpus (fuzz/corpus/<target>/, seeds and every input that once crashed) through it.

    TARNOVELLE_FUZZ_TARGET (name, headerSize, minimumCount) opens the body that examines one
    input, in namespace tarnovelle::fuzz: `header` points at the target's headerSize parameter
    bytes at the start of the input, `bytes` and `count` are the rest. A rest shorter than
    minimumCount is not examined.
*/
#ifdef TARNOVELLE_FUZZ_REPLAY
#define TARNOVELLE_FUZZ_ENTRY(name) int name (const uint8_t* data, size_t size)
#else
#define TARNOVELLE_FUZZ_ENTRY(name) extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)

// The code under test traces to stdout, which would drown libFuzzer's own report on stderr.
// Replayed in the test suite, the trace lines stay.
extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    if (std::freopen ("/dev/null", "w", stdout) == nullptr)
        std::perror ("stdout");

    return 0;
}
#endif

#define TARNOVELLE_FUZZ_TARGET(name, headerSize, minimumCount)                                    \
    namespace tarnovelle::fuzz                                                                    \
    {                                                                                             \
    void name##Input (const uint8* header, const uint8* bytes, int count);                        \
    }                                                                                             \
    TARNOVELLE_FUZZ_ENTRY (name)                                                                  \
    {                                                                                             \
        /* libFuzzer's -max_len keeps inputs far below INT_MAX. */                                \
        if ((int) size >= (headerSize) + (minimumCount))                                          \
            tarnovelle::fuzz::name##Input (data, data + (headerSize), (int) size - (headerSize)); \
        return 0;                                                                                 \
    }                                                                                             \
    void tarnovelle::fuzz::name##Input ([[maybe_unused]] const uint8* header, const uint8* bytes, int count)

namespace tarnovelle::fuzz
{
[[noreturn]] inline void failCheck (const char* file, int line, const char* condition)
{
    std::fprintf (stderr, "%s:%d: fuzz check failed: %s\n", file, line, condition);
    std::abort();
}
} // namespace tarnovelle::fuzz

/** A property every input must keep; breaking it is a crash like any other. */
#define TARNOVELLE_FUZZ_CHECK(condition) \
    ((condition) ? (void) 0 : tarnovelle::fuzz::failCheck (__FILE__, __LINE__, #condition))
