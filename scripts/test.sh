#!/usr/bin/env bash
# Sets up and runs every test: a Release build with ctest (the Python module's pytest suite
# included) and its test programs under valgrind's memcheck, a host program built against the
# installed package, the installed Python module, then the same tests under AddressSanitizer
# and UndefinedBehaviorSanitizer, and under ThreadSanitizer (a clang build).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/setup.sh

echo "== Release build and tests"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DSOLOMA_BUILD_TESTS=ON >/dev/null
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure -j"$jobs"
bash scripts/memcheck.sh build/release

echo "== Install and build a host program against the package"
rm -rf build/install build/host
cmake --install build/release --prefix "$PWD/build/install" >/dev/null
cmake -S examples/host -B build/host -DCMAKE_PREFIX_PATH="$PWD/build/install" >/dev/null
cmake --build build/host -j"$jobs"
build/host/host_example
pc_flags=$(PKG_CONFIG_PATH="$PWD/build/install/lib/pkgconfig" \
    pkg-config --cflags --libs soloma-imageprocessing)
g++ -std=c++17 examples/host/main.cpp -o build/host/host_example_pkgconfig $pc_flags
LD_LIBRARY_PATH="$PWD/build/install/lib" build/host/host_example_pkgconfig
if [[ -d build/install/lib/python3/dist-packages ]]; then
    echo "== The installed Python module"
    PYTHONPATH="$PWD/build/install/lib/python3/dist-packages" /usr/bin/python3 -c \
        'import numpy, soloma; print(soloma.HistogramEqualization().apply(numpy.eye(4, dtype=numpy.uint16)).max())'
fi

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DSOLOMA_SANITIZE=ON >/dev/null
cmake --build build/asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/asan --output-on-failure -j"$jobs"
bash scripts/tsan.sh
bash scripts/fuzz.sh 180  # a short fuzzing pass, about three minutes
