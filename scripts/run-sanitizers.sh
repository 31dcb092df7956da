#!/usr/bin/env bash
# The test suites under the sanitizers, each in a build folder of its own:
#
#   build-asan   AddressSanitizer (with LeakSanitizer) and UndefinedBehaviorSanitizer, with
#                JUCE's assertions and leak detector compiled in: every test, core, interface
#                and the end-to-end tests of the sanitized demo (TARNOVELLE_SANITIZE_E2E=0
#                leaves those out); not the packaging test. A JUCE assertion fails the test
#                that hit it, and an object JUCE's leak detector finds undeleted fails the run
#                (tests/support/TestMain.cpp, tests/e2e/harness/session.py)
#   build-tsan   ThreadSanitizer: the suites where threads meet (detection, reply waits, the
#                emulated instrument and its ports, the bootloader transfer and the update
#                driver, start-up, the action hub, the fault injection, the sequence player and
#                its thread, the history's reads)
#
# Any report fails the run; nothing is suppressed. (The end-to-end tests load the X libraries
# that JUCE opens at run time from the start, so that LeakSanitizer can trace what they keep:
# tests/e2e/harness/session.py.)
set -euo pipefail
cd "$(dirname "$0")/.."

JOBS="${JOBS:-$(nproc)}"
ASAN_BUILD="${ASAN_BUILD:-build-asan}"
TSAN_BUILD="${TSAN_BUILD:-build-tsan}"
THREADED_TESTS="${THREADED_TESTS:-^(Detection|ReplyWait|QuitTest|Emulat|Bootloader|UpdateDriver|Firmware|StartUp|ReadAllSettings|HubTest|Faults|SequenceFiles|SequenceTransfer|EditorHub|SequencePlayer|PlaybackTest|HistoryHub|Link|PortWatch)}"

export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"

step() { printf '\n=== %s\n' "$*"; }

step "AddressSanitizer + UndefinedBehaviorSanitizer ($ASAN_BUILD)"
cmake -S . -B "$ASAN_BUILD" -G Ninja -DTARNOVELLE_SANITIZE=address,undefined -DTARNOVELLE_ASSERTIONS=ON >/dev/null
cmake --build "$ASAN_BUILD" -j"$JOBS"
asan_filter=(-LE package)
[ "${TARNOVELLE_SANITIZE_E2E:-1}" = 0 ] && asan_filter=(-LE "package|e2e")
# The sanitized demo is slower: the end-to-end tests give it five times as long (three were
# not always enough for its reads and the kept working set on a 2-core machine).
(cd "$ASAN_BUILD" && TARNOVELLE_E2E_TIME_SCALE=5 ctest --output-on-failure -j"$JOBS" --timeout 1200 "${asan_filter[@]}")

step "ThreadSanitizer ($TSAN_BUILD)"
cmake -S . -B "$TSAN_BUILD" -G Ninja -DTARNOVELLE_SANITIZE=thread >/dev/null
cmake --build "$TSAN_BUILD" -j"$JOBS" --target tarnovelle_core_tests
(cd "$TSAN_BUILD" && ctest --output-on-failure -j"$JOBS" --timeout 1200 -R "$THREADED_TESTS")

step "sanitizers: all clean"
