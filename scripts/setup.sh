#!/usr/bin/env bash
# Installs the Debian packages the build needs. With --bench, also those of the benchmarks;
# with --fuzz, clang and its fuzzer and OpenMP runtimes for the fuzz targets; with --tsan, clang
# and LLVM's OpenMP runtime for the ThreadSanitizer build; with --memcheck, valgrind.
set -euo pipefail

packages=(cmake g++ make pkg-config libpng-dev libgtest-dev libkissfft-dev libhwy-dev
    pybind11-dev python3-dev python3-numpy python3-pytest)
for option in "$@"; do
    case "$option" in
        --bench) packages+=(libbenchmark-dev libopencv-dev python3) ;;
        --tsan) packages+=(clang-14 libomp-14-dev libclang-rt-14-dev) ;;
        --fuzz) packages+=(clang-14 libclang-rt-14-dev libomp-14-dev) ;;
        --memcheck) packages+=(valgrind) ;;
        *) echo "setup.sh: unknown option $option" >&2; exit 2 ;;
    esac
done

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
    exit 0
fi

sudo=""
if [[ $(id -u) -ne 0 ]]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
