#!/bin/bash
# Sets up a Debian 12 machine (packages), builds with warnings as errors and runs
# the whole suite. --sanitize builds and tests with ASan+UBSan in build-sanitize/.
# --arm64 cross-builds for the device in build-arm64/ and runs every test under qemu's
# user emulation; the tests start the programs of that build through the emulator too.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/build.sh "$@"

isolate=()
if [ "$build" = build-arm64 ]; then
  # Own process IDs: under emulation a mistaken pid of -1 or 0 cannot reach beyond the suite.
  isolate=(unshare --pid --fork --kill-child --mount-proc)
fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd "$build"
"${isolate[@]}" ctest --output-on-failure -j2 </dev/null
