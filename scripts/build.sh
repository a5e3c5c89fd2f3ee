#!/bin/bash
# Installs the packages a build needs and builds with warnings as errors, in a folder per kind:
#   (none)      build/            the host, RelWithDebInfo
#   --sanitize  build-sanitize/   ASan+UBSan, Debug
#   --arm64     build-arm64/      cross-built for the device (AArch64), run under qemu's user emulation
# Sourced by test.sh and package.sh, which then find the folder in $build.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build=build
deps=()
cmake_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DWERROR=ON)
for arg in "$@"; do
  case "$arg" in
    --sanitize) build=build-sanitize; cmake_args=(-DCMAKE_BUILD_TYPE=Debug -DWERROR=ON -DSANITIZE=ON) ;;
    --arm64) build=build-arm64; deps=(--arm64); cmake_args+=(-DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake) ;;
    *) echo "usage: $0 [--sanitize | --arm64]" >&2; exit 2 ;;
  esac
done

bash scripts/deps.sh "${deps[@]}"
cmake -S . -B "$build" "${cmake_args[@]}" </dev/null
cmake --build "$build" -j"$(nproc)" </dev/null
