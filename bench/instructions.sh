#!/bin/bash
# Instruction counts (valgrind's callgrind), steadier than times on a busy machine. Each figure sits
# beside its baseline, counted in the same way.
#
# Usage: bench/instructions.sh first_frame|wifi_list|swaglog
#   first_frame  instructions from the start of the process to the end of its first frame (the first
#                backing store flush) under a private headless weston: the update program, the
#                same-libraries prompt window and the bare window (on the simulated device)
#   wifi_list    instructions per call of each timed part of bench_wifi_list (5 rounds, 100 networks)
#   swaglog      instructions per call of cloudlog_e and of the raw zmq_send of the same record
# Needs a built tree (build/, or BUILD_DIR).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# The programs counted open the device's paths (parameters, backlight): on the simulated device only.
if [ -z "${DEVICE_ROOT_SCRATCH:-}" ]; then
  exec "$root/tests/fixtures/device_root.sh" "$0" "$@"
fi
build="${BUILD_DIR:-$root/build}"
work="$(mktemp -d /tmp/instructions.XXXXXX)"
weston_pid=""
cleanup() {
  if [ -n "$weston_pid" ]; then
    kill "$weston_pid" 2>/dev/null || true
    wait "$weston_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# Prints "NAME: N instructions per call" for each NAME, from a callgrind profile.
per_call() {
  local profile=$1
  shift
  callgrind_annotate --tree=calling --inclusive=yes "$profile" 2>/dev/null >"$work/calling"
  for name in "$@"; do
    awk -v name="$name" '
      index($0, "> ") && index($0, "::" name "(") && match($0, /\(([0-9,]+)x\)/) {
        calls = substr($0, RSTART + 1, RLENGTH - 3); gsub(",", "", calls)
        cost = $1; gsub(",", "", cost)
        printf "%-28s %12.0f instructions per call (%d calls)\n", name ":", cost / calls, calls
        exit
      }' "$work/calling"
  done
}

first_frame() {
  mkdir -m 700 "$work/runtime"
  export XDG_RUNTIME_DIR="$work/runtime" WAYLAND_DISPLAY=instructions QT_QPA_PLATFORM=wayland
  export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
  weston --backend=headless-backend.so --socket=instructions --width=2160 --height=1080 --use-pixman \
    >/dev/null 2>&1 &
  weston_pid=$!
  for _ in $(seq 100); do
    [ -e "$XDG_RUNTIME_DIR/instructions" ] && break
    sleep 0.05
  done
  local name program
  for entry in "updater|$build/ui/qt/setup/updater /bin/true m" \
    "same-libraries prompt|$build/bench/updater/bench_prompt_window" \
    "bare window|$build/bench/updater/bench_bare_window"; do
    name=${entry%%|*}
    program=${entry#*|}
    # shellcheck disable=SC2086 # the program and its arguments
    valgrind --tool=callgrind --callgrind-out-file="$work/frame" \
      '--dump-after=*QWaylandShmBackingStore::flush*' $program >/dev/null 2>&1 &
    local pid=$!
    for _ in $(seq 600); do
      [ -s "$work/frame.1" ] && break
      sleep 0.1
    done
    # The frame is counted: the program need not end cleanly.
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    printf "%-24s %12s instructions to the end of the first frame\n" "$name:" \
      "$(awk '/^(summary|totals):/ {print $2; exit}' "$work/frame.1" 2>/dev/null || echo '?')" | tee -a "$work/frames"
    rm -f "$work"/frame.*
  done
  awk '{for (i = 1; i <= NF; i++) if ($i ~ /^[0-9]+$/) {n[NR] = $i; break}} END {if (n[2] > 0 && n[3] > 0) printf "updater/bare %.2f, updater/prompt %.2f, prompt/bare %.2f\n", n[1] / n[3], n[1] / n[2], n[2] / n[3]}' "$work/frames"
}

wifi_list() {
  local toggles=()
  for f in firstScan buildRemainingRows scanWithEveryRowChanged scanWithEveryNameNew scanWithNothingChanged timedRepaint; do
    toggles+=("--toggle-collect=*$f*")
  done
  "$root/tests/fixtures/xvfb.sh" "$root/tests/fixtures/system_bus.sh" \
    --nm-simulator "$build/tools/nm_simulator/nm_simulator" --no-wifi -- \
    valgrind --tool=callgrind --callgrind-out-file="$work/list" --collect-atstart=no "${toggles[@]}" \
    "$build/bench/networking/bench_wifi_list" 5 100 1 >/dev/null 2>&1
  per_call "$work/list" firstScan buildRemainingRows scanWithEveryRowChanged scanWithEveryNameNew scanWithNothingChanged \
    timedRepaint
}

swaglog() {
  valgrind --tool=callgrind --callgrind-out-file="$work/log" --collect-atstart=no '--toggle-collect=*logRecord*' \
    '--toggle-collect=*sendRaw*' "$build/bench/common/bench_swaglog" 20 >/dev/null 2>&1
  per_call "$work/log" logRecord sendRaw | tee "$work/log.txt"
  awk '{n[NR] = $2} END {if (n[2] > 0) printf "cloudlog_e / raw zmq_send: %.2f\n", n[1] / n[2]}' "$work/log.txt"
}

case "${1:-}" in
  first_frame | wifi_list | swaglog) "$1" ;;
  *)
    echo "usage: $0 first_frame|wifi_list|swaglog" >&2
    exit 2
    ;;
esac
