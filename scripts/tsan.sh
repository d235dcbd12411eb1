#!/usr/bin/env bash
# Builds the libraries, the command-line tool and the tests with clang and ThreadSanitizer, and
# runs the tests with teams of four threads. GCC's OpenMP runtime is not instrumented, so the
# sanitizer would not see its barriers and would report races that are not there; this build
# uses LLVM's runtime instead, whose tool library (archer) tells the sanitizer about them.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
build=build/tsan

bash scripts/setup.sh --tsan

echo "== ThreadSanitizer build (clang, LLVM's OpenMP runtime) and tests"
CXX=clang++-14 cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSOLOMA_SANITIZE_THREAD=ON -DSOLOMA_BUILD_TESTS=ON -DSOLOMA_BUILD_TOOLS=ON \
    -DSOLOMA_BUILD_PYTHON=OFF -DSOLOMA_BUILD_BENCHMARKS=OFF >/dev/null
# ignore_noninstrumented_modules drops reports whose accesses all lie in code built without
# the sanitizer (the OpenMP runtime's own bookkeeping, GoogleTest, the C++ runtime): the
# runtime's tool library asks for it, as its accesses are not tracked. Every access made by
# the libraries, the tool and the tests is still checked. Set before the build, whose test
# discovery already runs the test programs.
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1"
cmake --build "$build" -j"$jobs"

# A library that found GCC's runtime would give false reports, or none where they are due.
library="$build/src/libVarnik.Soloma.ImageProcessingCPU.so"
if ! ldd "$library" | grep -q "libomp.so" || ldd "$library" | grep -q "libgomp"; then
    echo "The ThreadSanitizer build must use LLVM's OpenMP runtime:" >&2
    ldd "$library" >&2
    exit 1
fi
archer=/usr/lib/llvm-14/lib/libarcher.so
if [[ ! -f "$archer" ]]; then
    echo "$archer (libomp-14-dev) is missing" >&2
    exit 1
fi

export OMP_TOOL_LIBRARIES="$archer"
# Four threads even on two processors, so that every parallel region really runs as a team.
export OMP_NUM_THREADS=4
ctest --test-dir "$build" --output-on-failure -j"$jobs"
