#!/usr/bin/env bash
# Runs the test programs of a build under valgrind's memcheck: any invalid read or write, use
# of an uninitialised value or definite (or indirect) leak fails the run. Each program runs
# once with all its tests; those of the command-line tool that only start the tool as a child
# process are left out (memcheck would watch the test, not the tool).
# Usage: scripts/memcheck.sh [build-dir]   (default build/release, built with the tests)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}

bash scripts/setup.sh --memcheck

mapfile -t programs < <(find "$build/tests" -maxdepth 2 -type f -executable \
    \( -name '*_test_*' -o -name 'tools_test_*' \) ! -name 'tools_test_cli*' | sort)
if ((${#programs[@]} == 0)); then
    echo "No test programs in $build/tests: build it with the tests first" >&2
    exit 1
fi

# One thread: memcheck runs threads one at a time anyway, and the tests that choose their
# team sizes still start theirs. The programs run side by side, one per processor.
export OMP_NUM_THREADS=1
export SOLOMA_DATA_DIR="$PWD/../shared/data"
logs="$(cd "$build" && pwd)/memcheck"
rm -rf "$logs"
mkdir -p "$logs"

check() {
    local program=$1 name start
    name=$(basename "$program")
    start=$SECONDS
    if (cd "$(dirname "$program")" &&
        valgrind --quiet --error-exitcode=99 --leak-check=full \
            --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect \
            "./$name" --gtest_brief=1 >"$logs/$name.log" 2>&1); then
        echo "memcheck: $name passed ($((SECONDS - start)) s)"
    else
        echo "memcheck: $name FAILED ($((SECONDS - start)) s)"
        touch "$logs/$name.failed"
    fi
}

for program in "${programs[@]}"; do
    while (($(jobs -rp | wc -l) >= $(nproc))); do
        wait -n || true
    done
    check "$program" &
done
wait

failed=("$logs"/*.failed)
if [[ -e "${failed[0]}" ]]; then
    for marker in "${failed[@]}"; do
        cat "${marker%.failed}.log"
    done
    echo "memcheck failed: $(basename -s .failed -a "${failed[@]}" | tr '\n' ' ')" >&2
    exit 1
fi
echo "memcheck: ${#programs[@]} test programs, no invalid access and no leak"
