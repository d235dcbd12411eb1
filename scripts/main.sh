#!/usr/bin/env bash
# Sets up, builds in Release and runs the main job, `soloma demo`: the library's whole chain on
# a built-in synthetic recording of a gas leak (raw counts in; display pictures, the hottest
# object's temperatures and both gas detectors' overlays out). It prints the timing of every
# stage on one thread and on all, and how well the camera's moves and the plume were found;
# the pictures, a contact sheet and the page out/index.html go to out/.
# Extra arguments go to the demo, e.g. --docs docs/contact_sheet.png to renew the README's
# picture.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release --target soloma -j"$(nproc)"
build/release/tools/soloma demo --output out "$@"
