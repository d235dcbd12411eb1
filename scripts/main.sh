#!/usr/bin/env bash
# Sets up, builds in Release and runs the main job: equalizes the built-in synthetic frame
# into out/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DSOLOMA_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --target soloma -j"$(nproc)"
build/release/tools/soloma equalize --output out/equalized.png "$@"
