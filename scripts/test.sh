#!/bin/bash
# Sets up a Debian 12 machine (packages), builds with warnings as errors and runs
# the whole suite. --sanitize builds and tests with ASan+UBSan in build-sanitize/.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
cmake_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DWERROR=ON)
for arg in "$@"; do
  case "$arg" in
    --sanitize) build=build-sanitize; cmake_args=(-DCMAKE_BUILD_TYPE=Debug -DWERROR=ON -DSANITIZE=ON) ;;
    *) echo "usage: $0 [--sanitize]" >&2; exit 2 ;;
  esac
done

bash scripts/deps.sh
cmake -S . -B "$build" "${cmake_args[@]}" </dev/null
cmake --build "$build" -j"$(nproc)" </dev/null

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd "$build"
ctest --output-on-failure -j2 </dev/null
