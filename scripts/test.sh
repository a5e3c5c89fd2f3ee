#!/bin/bash
# Sets up a Debian 12 machine (packages), builds with warnings as errors and runs
# the whole suite. --sanitize builds and tests with ASan+UBSan in build-sanitize/.
# --arm64 cross-builds for the device in build-arm64/ and runs every test under qemu's
# user emulation; the tests start the programs of that build through the emulator too.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
deps=()
isolate=()
cmake_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DWERROR=ON)
for arg in "$@"; do
  case "$arg" in
    --sanitize) build=build-sanitize; cmake_args=(-DCMAKE_BUILD_TYPE=Debug -DWERROR=ON -DSANITIZE=ON) ;;
    --arm64)
      build=build-arm64; deps=(--arm64)
      cmake_args+=(-DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake)
      # Own process IDs: under emulation a mistaken pid -1 or 0 cannot reach beyond the suite.
      isolate=(unshare --pid --fork --kill-child --mount-proc) ;;
    *) echo "usage: $0 [--sanitize | --arm64]" >&2; exit 2 ;;
  esac
done

bash scripts/deps.sh "${deps[@]}"
cmake -S . -B "$build" "${cmake_args[@]}" </dev/null
cmake --build "$build" -j"$(nproc)" </dev/null

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd "$build"
"${isolate[@]}" ctest --output-on-failure -j2 </dev/null
