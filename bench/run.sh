#!/bin/sh
# Builds the benchmarks in Release, runs them single-threaded and prints the ratio table.
# Usage: bench/run.sh [build-dir] [extra benchmark arguments...]
set -eu

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=${1:-"$repo/build/bench"}
if [ $# -gt 0 ]; then shift; fi

bash "$repo/scripts/setup.sh" --bench
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSOLOMA_BUILD_BENCHMARKS=ON \
    -DSOLOMA_BUILD_TESTS=OFF -DSOLOMA_BUILD_TOOLS=ON >/dev/null
cmake --build "$build" --target soloma_bench -j2

# Repetitions let the table use the best time of each case, which is the least disturbed by
# whatever else runs on the machine.
OMP_NUM_THREADS=1 "$build/bench/soloma_bench" \
    --benchmark_repetitions=5 \
    --benchmark_min_time=0.2 \
    --benchmark_out="$build/bench.json" --benchmark_out_format=json "$@"

python3 "$here/ratios.py" "$build/bench.json"
