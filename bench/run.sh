#!/bin/sh
# Builds the benchmarks in Release, runs them single-threaded and then with the default thread
# count, and prints the two ratio tables (the raw results are in the build folder). The
# repetitions of all cases run in random order, so that a case and its peer see the same
# spells of a busy or throttled machine.
# Usage: bench/run.sh [build-dir] [extra benchmark arguments, e.g. --benchmark_filter=DDE]
set -eu

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=${1:-"$repo/build/bench"}
if [ $# -gt 0 ]; then shift; fi

bash "$repo/scripts/setup.sh" --bench
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSOLOMA_BUILD_BENCHMARKS=ON \
    -DSOLOMA_BUILD_TESTS=OFF -DSOLOMA_BUILD_TOOLS=ON >/dev/null
cmake --build "$build" --target soloma_bench -j2

# Repetitions let the tables use the best time of each case, which is the least disturbed by
# whatever else runs on the machine.
status=0
for threads in single default; do
    extra=""
    if [ "$threads" = default ]; then extra="--soloma_threads=default"; fi
    "$build/bench/soloma_bench" $extra \
        --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
        --benchmark_min_time=0.2 \
        --benchmark_out="$build/bench_$threads.json" --benchmark_out_format=json "$@" \
        >"$build/bench_$threads.log" 2>&1
    python3 "$here/ratios.py" "$build/bench_$threads.json" || status=1
done
exit $status
