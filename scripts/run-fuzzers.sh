#!/usr/bin/env bash
# Builds the libFuzzer targets with clang 14 and runs each for a bounded time, one after the
# other, starting from the committed seeds in fuzz/corpus/<target>/.
#
#   scripts/run-fuzzers.sh [seconds per target] [target ...]      (default 60 s, every target)
#   make fuzz FUZZ_SECONDS=600
#
# New inputs that add coverage go to $FUZZ_WORK/<target>/ (default build-fuzz/corpus), never
# into the committed seeds. A crash stops the run and leaves crash-* / leak-* / timeout-*
# files in $FUZZ_WORK/artifacts/; add such a file to fuzz/corpus/<target>/ once the fault is
# mended, and the test suite replays it from then on. Each target's last line
# ("Done N runs in S second(s)") gives its execution count.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

seconds="${1:-60}"
shift || true
FUZZ_BUILD="${FUZZ_BUILD:-build-fuzz}"
FUZZ_WORK="${FUZZ_WORK:-$FUZZ_BUILD/corpus}"
NICE="${FUZZ_NICE:-10}"

cmake -S . -B "$FUZZ_BUILD" -G Ninja -DTARNOVELLE_BUILD_FUZZERS=ON -DTARNOVELLE_BUILD_TESTS=OFF \
    -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_C_COMPILER=clang-14 >/dev/null
cmake --build "$FUZZ_BUILD" --target tarnovelle_fuzzers -j"${JOBS:-$(nproc)}"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for source in fuzz/fuzz_*.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
mkdir -p "$FUZZ_WORK/artifacts"

for target in "${targets[@]}"; do
    name="${target#fuzz_}"
    seeds="$root/fuzz/corpus/$name"
    work="$FUZZ_WORK/$name"
    mkdir -p "$work"
    log="$FUZZ_WORK/$name.log"
    printf '\n=== %s: %s s (log %s)\n' "$target" "$seconds" "$log"
    status=0
    nice -n "$NICE" "$FUZZ_BUILD/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=4096 -print_final_stats=1 -artifact_prefix="$FUZZ_WORK/artifacts/$name-" \
        "$work" "$seeds" >"$log" 2>&1 || status=$?
    grep -E "^(#[0-9]+[[:space:]]+(INITED|DONE)|Done [0-9]+ runs|stat::number_of_executed_units)" "$log" || true
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$log"
        echo "$target failed (status $status); the input is in $FUZZ_WORK/artifacts/"
        exit "$status"
    fi
done
