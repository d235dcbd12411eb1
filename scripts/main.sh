#!/usr/bin/env bash
# Sets up, builds in Release and runs the main job on the built-in synthetic frame: the four
# contrast enhancements into out/, the alignment of a moved copy of it with the frame, the gas
# overlay of a synthetic leak, then the frame's statistics and display limits.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DSOLOMA_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --target soloma -j"$(nproc)"
soloma=build/release/tools/soloma
"$soloma" equalize --output out/equalized.png
"$soloma" plateau --output out/plateau.png
"$soloma" dde --output out/dde.png
"$soloma" fastdde --output out/fastdde.png
"$soloma" stabilize --output out/stabilized.png
"$soloma" gas --output out/gas.png
"$soloma" stats
"$soloma" limits
