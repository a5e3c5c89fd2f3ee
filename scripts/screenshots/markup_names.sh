#!/bin/bash
# Usage: scripts/screenshots/markup_names.sh [OUTDIR]
#
# Opens the update program's Wi-Fi page under Xvfb at 2160x1080, on the simulated device, while
# access points with markup in their names are in range (a picture naming /dev/zero, bold, a large
# font): the list must show each name as its own text on a row of the usual height, and the program
# must not load what a name points at. Saves wifi-markup-names.png and prints the program's peak
# resident memory; fails above 300 MB (reading /dev/zero for a picture took 2.2 GB).
# Needs a built program and simulator (build/, or BUILD_DIR).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${BUILD_DIR:-$root/build}"
out="$(mkdir -p "${1:-$build/screenshots/markup-names}" && cd "${1:-$build/screenshots/markup-names}" && pwd)"

if [ -z "${MARKUP_NETWORKS:-}" ]; then
  networks="$(mktemp /tmp/markup-networks.XXXXXX.json)"
  trap 'rm -f "$networks"' EXIT
  cat >"$networks" <<'JSON'
[
  {"ssid": "Harbour Cafe", "strength": 82, "security": "open"},
  {"ssid": "<img src=/dev/zero>", "strength": 70, "security": "open"},
  {"ssid": "<b>Free</b> Wi-Fi", "strength": 60, "security": "wpa2", "password": "free-wi-fi"},
  {"ssid": "<font size=7>BIG</font>", "strength": 50, "security": "open"}
]
JSON
  MARKUP_NETWORKS="$networks" "$root/tests/fixtures/xvfb.sh" "$root/tests/fixtures/system_bus.sh" \
    --nm-simulator "$build/tools/nm_simulator/nm_simulator" --networks "$networks" -- "$0" "$out"
  exit
fi

work="$(mktemp -d /tmp/markup-names.XXXXXX)"
app_pid=""
cleanup() {
  if [ -n "$app_pid" ]; then kill -TERM "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

who="markup names"
SCREEN_PROBE_SOCKET="$work/probe"
# shellcheck source=drive.sh
source "$root/scripts/screenshots/drive.sh"

# shellcheck disable=SC2046  # NAME=VALUE words
env $(probe_env) "$root/tests/fixtures/device_root.sh" "$build/ui/qt/setup/updater" \
  "$root/tools/sample-updater/sample-updater" "$root/tools/sample-updater/manifest.json" 2>"$work/app.err" &
app_pid=$!
wait_text "Update Required"
tap_text "Connect to Wi-Fi"
for name in "<img src=/dev/zero>" "<b>Free</b> Wi-Fi" "<font size=7>BIG</font>" "Harbour Cafe"; do
  wait_text "$name" 20
done
sleep 1
shot wifi-markup-names.png

program_pid="$(pgrep -f "^$build/ui/qt/setup/updater" | head -1)"
peak_kb="$(awk '/^VmHWM:/ {print $2}' "/proc/$program_pid/status")"
echo "$who: every name shown as text; peak resident memory $((peak_kb / 1024)) MB"
[ "$peak_kb" -le $((300 * 1024)) ] || { echo "$who: the program took more than 300 MB" >&2; exit 1; }
echo "screenshot saved in $out"
