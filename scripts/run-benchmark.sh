#!/bin/sh
# Builds the benchmark, the demo and the bare JUCE window in Release and runs every figure
# under a private Xvfb server. Usage: scripts/run-benchmark.sh [build-dir] [benchmark options]
# (tarnovelle_benchmark --help lists the options). BENCHMARKS.md records the results.
set -eu

cd "$(dirname "$0")/.."
build=${1:-build-bench}
[ $# -gt 0 ] && shift

if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARNOVELLE_BUILD_TESTS=OFF
fi

cmake --build "$build" --target tarnovelle_benchmark TarnovelleConnectionDemo tarnovelle_bare_window \
    tarnovelle_firmware_file -j"$(nproc)"

echo "date:    $(date -R)"
echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) processors"
echo "load:    $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min) before the run"

exec xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bin/tarnovelle_benchmark" "$@"
