#!/bin/bash
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
#
# Builds the libFuzzer targets of fuzz/ with Clang, ASan and UBSan (in build-fuzz/) and runs each
# for SECONDS (default 10; CI runs them all in about a minute). Each starts from its seed corpus
# (fuzz/corpus/NAME, NAME being the target without "fuzz_"); what it finds on the way is kept in
# build-fuzz/corpus/NAME for the next run, a crashing input in build-fuzz/crashes/. Prints the
# executions per second of each target; fails on the first target that finds a fault.
#   scripts/fuzz.sh 600 fuzz_params     ten minutes on the parameter store alone
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-10}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_updater_progress fuzz_log_record fuzz_params fuzz_ssid fuzz_http_reply fuzz_nm_replies)
fi

bash scripts/deps.sh
build=build-fuzz
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DFUZZ=ON -DBUILD_TESTING=OFF -DWERROR=ON </dev/null >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_targets </dev/null

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export ASAN_SYMBOLIZER_PATH=${ASAN_SYMBOLIZER_PATH:-/usr/lib/llvm-14/bin/llvm-symbolizer}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/fuzz/lsan.supp}
# Qt deletes some objects only once control is back in its event loop, which libFuzzer's check
# after every input takes for leaks: these targets are checked for leaks once, at exit.
leaks_at_exit=" fuzz_updater_progress fuzz_ssid fuzz_http_reply fuzz_nm_replies "

mkdir -p "$build/crashes"
for target in "${targets[@]}"; do
  name="${target#fuzz_}"
  corpus="$build/corpus/$name"
  log="$build/$target.log"
  mkdir -p "$corpus"
  leaks=1
  [[ "$leaks_at_exit" == *" $target "* ]] && leaks=0
  # On the simulated device, so that nothing (the Wi-Fi manager's parameter reads included) writes
  # to this machine's /data; the NetworkManager stand-in also needs a private system bus of its own.
  wrapper=(tests/fixtures/device_root.sh)
  [ "$target" = fuzz_nm_replies ] && wrapper+=(tests/fixtures/system_bus.sh)
  status=0
  "${wrapper[@]}" "$build/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=20 -detect_leaks="$leaks" \
    -artifact_prefix="$build/crashes/$target-" "$corpus" "fuzz/corpus/$name" >"$log" 2>&1 </dev/null || status=$?
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
  rate="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")"
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log" >&2
    echo "fuzz: $target found a fault (input kept in $build/crashes/)" >&2
    exit "$status"
  fi
  echo "fuzz: $target: ${runs:-?} runs in ${seconds} s, ${rate:-?} per second"
done
