#!/bin/bash
# Builds the tree (optimised, as the tests build it) and runs every benchmark, each on the
# simulated device (tests/fixtures/device_root.sh) and in the environment it measures. Every
# benchmark prints its figures next to a baseline measured side by side in the same run, and the
# ratio.
# Usage: scripts/bench.sh [NAME_FILTER]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWERROR=ON </dev/null >/dev/null
cmake --build build -j"$(nproc)" </dev/null >/dev/null

export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
# Screens keep a parameter store; the benchmarks' goes to scratch, never to the device's /data.
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export PARAMS_ROOT="$scratch/params"
B=build/bench
# name | command
BENCHES=(
  "params|$B/common/bench_params"
  "swaglog|$B/common/bench_swaglog"
  "updater_startup|$B/updater/bench_updater_startup 10"
  "updater_flood|$B/updater/bench_updater_flood 1000000 5"
  "wifi_manager|tests/fixtures/system_bus.sh $B/network/bench_wifi_manager"
  "dialog_open|tests/fixtures/xvfb.sh $B/widgets/bench_dialog_open 60"
  "api_jwt|$B/api/bench_api"
  "wifi_list|tests/fixtures/xvfb.sh tests/fixtures/system_bus.sh --nm-simulator build/tools/nm_simulator/nm_simulator --no-wifi -- $B/networking/bench_wifi_list"
  "wifi_page_rss|bench/networking/peak_rss.sh"
  "updater_startup_nm|tests/fixtures/system_bus.sh --nm-simulator build/tools/nm_simulator/nm_simulator --networks tools/nm_simulator/sample_networks.json -- $B/updater/bench_updater_startup 10"
  "first_frame_instructions|bench/instructions.sh first_frame"
  "wifi_list_instructions|bench/instructions.sh wifi_list"
  "swaglog_instructions|bench/instructions.sh swaglog"
)

status=0
for entry in "${BENCHES[@]}"; do
  name=${entry%%|*}
  cmd=${entry#*|}
  [[ -z "${1:-}" || "$name" == *"$1"* ]] || continue
  echo "== $name: $cmd"
  tests/fixtures/device_root.sh $cmd || status=1
done
exit "$status"
