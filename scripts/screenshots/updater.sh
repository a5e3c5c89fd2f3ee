#!/bin/bash
# Usage: scripts/screenshots/updater.sh [OUTDIR]
#
# Renders the update program's screens under Xvfb at 2160x1080 with the Inter font, on the
# simulated device (tests/fixtures/device_root.sh), tapping with xdotool like a user would what shows
# each text (scripts/screenshots/drive.sh):
#   1. prompt.png, wifi.png, progress.png (once the time left shows under the bar, within 15 s of
#      the download's start; the next phase must start without it), then the sample updater
#      succeeds and the device "reboots" (reported by the simulated sudo);
#   2. a second run whose sample updater fails: failed.png (no time left shown), then "Reboot" is
#      tapped;
#   3. a copy started while another one holds the update: waiting.png.
# Needs a built tree (build/, or BUILD_DIR). Prints OUTDIR at the end.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Runs on a private device-sized X screen of its own, every copy of the program on the same
# simulated device (tests/fixtures/device_root.sh), so that they meet at its update lock.
if [ -z "${PRIVATE_SCREEN:-}" ]; then
  exec "$root/tests/fixtures/xvfb.sh" "$0" "$@"
fi
if [ -z "${DEVICE_ROOT_SCRATCH:-}" ]; then
  exec "$root/tests/fixtures/device_root.sh" "$0" "$@"
fi
build="${BUILD_DIR:-$root/build}"
out="$(mkdir -p "${1:-$build/screenshots/updater}" && cd "${1:-$build/screenshots/updater}" && pwd)"
program="$build/ui/qt/setup/updater"
sample="$root/tools/sample-updater/sample-updater"
manifest="$root/tools/sample-updater/manifest.json"

work="$(mktemp -d /tmp/updater-screens.XXXXXX)"
app_pid=""
cleanup() {
  local pid
  for pid in $app_pid; do
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

who="screenshots"
SCREEN_PROBE_SOCKET="$work/probe"
# shellcheck source=drive.sh
source "$root/scripts/screenshots/drive.sh"

# start_app LOGNAME [TEXT]: starts the program; its error output (and the sample updater's, which it
# forwards) goes to $work/LOGNAME.err, the fake sudo calls to $work/LOGNAME.sudo. Waits for TEXT
# (default "Update Required").
start_app() {
  # shellcheck disable=SC2046  # NAME=VALUE words
  env $(probe_env) FAKE_SUDO_LOG="$work/$1.sudo" "$program" "$sample" "$manifest" 2>"$work/$1.err" &
  app_pid=$!
  wait_text "${2:-Update Required}"
}
stop_app() {
  kill -TERM "$app_pid"
  wait "$app_pid" || true
  app_pid=""
}

start_app success
shot prompt.png
tap_text "Connect to Wi-Fi"
shot wifi.png
tap_text Back
tap_text Install
wait_text Downloading
wait_text "Less than a minute left" 15
shot progress.png
wait_text Verifying 30
time_left_shown() { ask texts | grep -q " left$"; }
! time_left_shown || { drive_fail "the time left of the download still shows in the next phase"; exit 1; }
echo "screenshots: the time left showed during the download and went with the next phase"
wait_for "$work/success.sudo" reboot 60
echo "screenshots: the sample updater succeeded and the device was told to reboot"
stop_app

SAMPLE_UPDATER_FAIL=1 SAMPLE_UPDATER_STEP=0.03 start_app failure
tap_text Install
wait_text "Update failed" 60
! time_left_shown || { drive_fail "the time left still shows after the failure"; exit 1; }
shot failed.png
tap_text Reboot
wait_for "$work/failure.sudo" reboot 10
echo "screenshots: the sample updater failed; \"Reboot\" told the device to reboot"
stop_app

# The first copy, with a probe of its own, holds the update; the second waits for it.
# shellcheck disable=SC2046  # NAME=VALUE words
env $(probe_env "$work/probe-first") "$program" "$sample" "$manifest" 2>"$work/first.err" &
first_pid=$!
app_pid="$first_pid"
until "$drive_build/tools/screen_driver/screen_ask" "$work/probe-first" shown "Update Required" 2>/dev/null; do
  kill -0 "$first_pid" || { echo "screenshots: the first copy ended" >&2; exit 1; }
  sleep 0.05
done
start_app second "Installing Update"
app_pid="$app_pid $first_pid"
shot waiting.png
echo "screenshots: a second copy waits while the first one holds the update"

echo "screenshots saved in $out"
