#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# (build/fuzz) and runs each of them, starting from its corpus in tests/fuzz/corpus/<target>/.
#
#   bash scripts/fuzz.sh [SECONDS] [--merge] [--only TARGET]
#
# SECONDS (default 180) is the time of the whole pass, shared evenly among the targets (at
# least 5 seconds each). The runs grow scratch copies of the corpora under build/fuzz, so the
# checkout stays clean; --merge minimises each grown corpus into tests/fuzz/corpus/<target>/.
# Prints executions and crashes per target; exits non-zero when any target found a crash,
# a leak, a timeout or an out-of-memory input (kept in build/fuzz/artifacts/<target>/).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=180
merge=0
only=""
while (($#)); do
    case "$1" in
        --merge) merge=1 ;;
        --only) only="$2"; shift ;;
        *) seconds="$1" ;;
    esac
    shift
done

bash scripts/setup.sh --fuzz

build=build/fuzz
echo "== Fuzz build (clang, libFuzzer, ASan+UBSan)"
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSOLOMA_BUILD_FUZZERS=ON -DSOLOMA_BUILD_TESTS=OFF -DSOLOMA_BUILD_TOOLS=OFF \
    -DSOLOMA_BUILD_PYTHON=OFF -DSOLOMA_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

targets=()
for source in tests/fuzz/fuzz_*.cpp; do
    name=$(basename "$source" .cpp)
    if [[ -z "$only" || "$name" == "$only" ]]; then
        targets+=("$name")
    fi
done
if ((${#targets[@]} == 0)); then
    echo "no fuzz target named '$only'" >&2
    exit 2
fi
each=$((seconds / ${#targets[@]}))
((each >= 5)) || each=5

# Threads as in a small host; leaks count as failures; UBSan stops at the first report.
export OMP_NUM_THREADS=2
export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

echo "== Fuzzing ${#targets[@]} targets, $each s each"
failed=0
printf '%-34s %12s %10s %8s  %s\n' target executions exec/s corpus result
for name in "${targets[@]}"; do
    seeds=tests/fuzz/corpus/$name
    scratch=$build/corpus/$name
    artifacts=$build/artifacts/$name
    log=$build/logs/$name.log
    rm -rf "$scratch" "$artifacts"
    mkdir -p "$seeds" "$scratch" "$artifacts" "$(dirname "$log")"
    cp -r "$seeds/." "$scratch/"
    dictionary=()
    if [[ -f tests/fuzz/$name.dict ]]; then
        dictionary=(-dict="tests/fuzz/$name.dict")
    fi
    result=ok
    if ! "$build/tests/fuzz/$name" -max_total_time="$each" -rss_limit_mb=2048 -timeout=25 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" "${dictionary[@]}" "$scratch" \
        >"$log" 2>&1; then
        result="CRASH: $(ls "$artifacts" | head -1) (log: $log)"
        failed=1
    fi
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    printf '%-34s %12s %10s %8s  %s\n' "$name" "${executions:-?}" "${rate:-?}" \
        "$(ls "$scratch" | wc -l)" "$result"
    if ((merge)) && [[ $result == ok ]]; then
        minimised=$build/merged/$name
        rm -rf "$minimised"
        mkdir -p "$minimised"
        "$build/tests/fuzz/$name" -merge=1 -rss_limit_mb=2048 -timeout=25 "$minimised" \
            "$scratch" >>"$log" 2>&1
        rm -rf "$seeds"
        mv "$minimised" "$seeds"
    fi
done
exit "$failed"
