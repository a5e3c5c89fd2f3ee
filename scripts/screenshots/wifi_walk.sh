#!/bin/bash
# Usage: scripts/screenshots/wifi_walk.sh [OUTDIR]
#
# Walks the update program's Wi-Fi path under Xvfb at 2160x1080 with the Inter font, on the
# simulated device (tests/fixtures/device_root.sh) with the NetworkManager simulator and its sample
# networks (tools/nm_simulator/sample_networks.json) on a private system bus, tapping with
# xdotool like a user would what shows each text (scripts/screenshots/drive.sh):
#   opens the Wi-Fi page (wifi-list.png), taps "Fernhill Home" and types a wrong password
#   (wifi-password.png), is asked again (wifi-wrong-password.png), types the right one
#   (wifi-connected.png once joined), goes back and installs (wifi-installing.png) until the
#   sample updater succeeds and the device is told to reboot.
# Needs a built program and simulator (build/, or BUILD_DIR). Prints what it checked.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Runs on a private device-sized X screen of its own.
if [ -z "${PRIVATE_SCREEN:-}" ]; then
  exec "$root/tests/fixtures/xvfb.sh" "$0" "$@"
fi
build="${BUILD_DIR:-$root/build}"

# The whole walk runs on its own system bus, the simulator already serving on it.
if [ -z "${NM_SIMULATOR_PID:-}" ]; then
  exec "$root/tests/fixtures/system_bus.sh" --nm-simulator "$build/tools/nm_simulator/nm_simulator" \
    --networks "$root/tools/nm_simulator/sample_networks.json" -- "$0" "$@"
fi

out="$(mkdir -p "${1:-$build/screenshots/wifi-walk}" && cd "${1:-$build/screenshots/wifi-walk}" && pwd)"
program="$build/ui/qt/setup/updater"
sample="$root/tools/sample-updater/sample-updater"
manifest="$root/tools/sample-updater/manifest.json"

work="$(mktemp -d /tmp/wifi-walk.XXXXXX)"
app_pid=""
cleanup() {
  # The program's and the server's exit codes do not matter here; each step must run.
  if [ -n "$app_pid" ]; then kill -TERM "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

who="wifi walk"
SCREEN_PROBE_SOCKET="$work/probe"
# shellcheck source=drive.sh
source "$root/scripts/screenshots/drive.sh"

nm() {  # nm OBJECT METHOD ARGS...
  gdbus call --system --dest org.freedesktop.NetworkManager --object-path "$1" --method "${@:2}"
}
# The name of the network the simulated Wi-Fi device is on, empty when none.
joined_network() {
  local device ap
  for device in $(nm /org/freedesktop/NetworkManager org.freedesktop.NetworkManager.GetDevices | grep -o "/org/[^']*"); do
    nm "$device" org.freedesktop.DBus.Properties.Get org.freedesktop.NetworkManager.Device DeviceType |
      grep -q "uint32 2>" || continue
    ap="$(nm "$device" org.freedesktop.DBus.Properties.Get org.freedesktop.NetworkManager.Device.Wireless \
      ActiveAccessPoint | grep -o "/org/[^']*" || true)"
    [ -n "$ap" ] || return 0
    nm "$ap" org.freedesktop.DBus.Properties.Get org.freedesktop.NetworkManager.AccessPoint Ssid |
      grep -o "0x[0-9a-f]*" | while read -r byte; do printf "\\x${byte#0x}"; done
    return 0
  done
}

# shellcheck disable=SC2046  # NAME=VALUE words
env $(probe_env) FAKE_SUDO_LOG="$work/sudo.log" "$root/tests/fixtures/device_root.sh" "$program" "$sample" \
  "$manifest" 2>"$work/app.err" &
app_pid=$!
wait_text "Update Required"

tap_text "Connect to Wi-Fi"
wait_text "Fernhill Home"
shot wifi-list.png
tap_text "Fernhill Home"
wait_text "Enter password"
type_keys wrongpassword
shot wifi-password.png
tap_text →
wait_text "Wrong password"
shot wifi-wrong-password.png
type_keys fernhill-home
tap_text →
for _ in $(seq 50); do
  [ "$(joined_network)" = "Fernhill Home" ] && break
  sleep 0.1
done
shot wifi-connected.png
echo "wifi walk: the device joined \"$(joined_network)\""

tap_text Back
tap_text Install
sleep 3
shot wifi-installing.png
wait_for "$work/sudo.log" reboot 60
echo "wifi walk: the sample updater succeeded and the device was told to reboot"
