#!/bin/bash
# Usage: scripts/screenshots/wifi_walk.sh [--real-wifi] [OUTDIR]
#
# Walks the update program's Wi-Fi path under Xvfb at 2160x1080 with the Inter font, on the
# simulated device (tools/simulated-device), tapping with xdotool like a user would:
#   opens the Wi-Fi page (wifi-list.png), taps "Fernhill Home" and types a wrong password on the
#   on-screen keyboard (wifi-password.png), is asked again (wifi-wrong-password.png), types the
#   right one (wifi-connected.png once the row shows it joined), taps the open "Harbour Cafe",
#   which joins without a dialog (wifi-open-joined.png), goes back and installs
#   (wifi-installing.png) until the sample updater succeeds and the device is told to reboot.
# NetworkManager is the simulator with its sample networks (tools/nm_simulator/sample_networks.json)
# on a private system bus; with --real-wifi it is the real daemon, with wpa_supplicant and hostapd on
# simulated radios, inside the virtual machine of tests/fixtures/wifi_vm.sh (which has the same
# networks and keys).
# Every step waits for what the screen or the daemon shows, reading the screen's text with OCR;
# the walk fails when something does not come. Needs a built program (build/, or BUILD_DIR).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${BUILD_DIR:-$root/build}"

mode=()
if [ "${1:-}" = "--real-wifi" ]; then
  mode=(--real-wifi)
  shift
fi
out="$(mkdir -p "${1:-$build/screenshots/wifi-walk}" && cd "${1:-$build/screenshots/wifi-walk}" && pwd)"

# The walk runs on its own device-sized X screen and system bus: the virtual machine's, or a
# private one with the simulator serving on it.
if [ ${#mode[@]} -gt 0 ] && [ -z "${WIFI_VM:-}" ]; then
  WIFI_VM_OUT="$out" exec "$root/tests/fixtures/wifi_vm.sh" "$0" "${mode[@]}" "$out"
fi
if [ -z "${PRIVATE_SCREEN:-}" ]; then
  exec "$root/tests/fixtures/xvfb.sh" "$0" "${mode[@]}" "$out"
fi
if [ ${#mode[@]} -eq 0 ] && [ -z "${NM_SIMULATOR_PID:-}" ]; then
  exec "$root/tests/fixtures/system_bus.sh" --nm-simulator "$build/tools/nm_simulator/nm_simulator" \
    --networks "$root/tools/nm_simulator/sample_networks.json" -- "$0" "$out"
fi

program="$build/ui/qt/setup/updater"
sample="$root/tools/sample-updater/sample-updater"
manifest="$root/tools/sample-updater/manifest.json"

work="$(mktemp -d /tmp/wifi-walk.XXXXXX)"
app_pid=""
cleanup() {
  local rc=$?
  # The program's exit code does not matter here; each step must run.
  if [ -n "$app_pid" ]; then kill -TERM "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true; fi
  # A failed walk keeps what the program printed beside its screenshots.
  [ "$rc" -eq 0 ] || cp "$work/app.err" "$out/program-output.txt" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

who="wifi walk"
# shellcheck source=taps.sh
source "$root/scripts/screenshots/taps.sh"

# Centres at 2160x1080, measured on the program's own layout: the rows of the Wi-Fi page and the
# lowercase page of the on-screen keyboard of a password dialog.
FIRST_ROW_Y=204
ROW_PITCH=193
declare -A KEY=(
  [q]="152 487" [w]="358 487" [e]="564 487" [r]="770 487" [t]="976 487" [y]="1182 487" [u]="1388 487"
  [i]="1594 487" [o]="1800 487" [p]="2006 487" [a]="244 642" [s]="453 642" [d]="662 642" [f]="871 642"
  [g]="1079 642" [h]="1288 642" [j]="1497 642" [k]="1706 642" [l]="1915 642" [z]="393 797" [x]="622 797"
  [c]="851 797" [v]="1079 797" [b]="1308 797" [n]="1537 797" [m]="1766 797" [-]="622 952" [.]="1537 952"
)
ENTER_KEY="1880 952"
# The title and subtitle of a dialog, and a row of the list (name, marker and Forget button).
DIALOG_TITLE="1100x180+40+60"
row_area() { echo "1800x120+150+$((FIRST_ROW_Y + ROW_PITCH * $1 - 60))"; }

type_text() {
  local i
  for ((i = 0; i < ${#1}; i++)); do
    tap "${KEY[${1:i:1}]}"
  done
}
tap_row() { tap "360 $((FIRST_ROW_Y + ROW_PITCH * $1))"; }

# The words in an area of the screen (WIDTHxHEIGHT+X+Y), read with OCR, on one line (as sparse
# text: light on dark and dark on light, as the Forget button, are both read).
# Reading runs at the lowest priority, so the daemons keep their pace under emulation.
screen_text() {
  nice -n 19 import -window root -crop "$1" -negate -colorspace gray "$work/area.png"
  nice -n 19 tesseract "$work/area.png" - --psm 11 2>/dev/null | tr '\n' ' '
}

# expect SECONDS WHAT CONDITION...: waits until CONDITION holds, or fails the walk.
expect() {
  local seconds=$1 what=$2
  shift 2
  local start=$SECONDS
  until "$@"; do
    if [ $((SECONDS - start)) -ge "$seconds" ]; then
      echo "$who: gave up waiting ${seconds}s for $what${last_text:+; the screen read \"$last_text\"}" >&2
      import -window root "$out/failed-$(date +%s).png" || true
      return 1
    fi
    sleep 0.5
  done
}
last_text=""
shows() {
  last_text="$(screen_text "$1")"
  [[ "$last_text" =~ $2 ]]
}
windows_open() { [ "$(xdotool search --onlyvisible --class updater 2>/dev/null | wc -l)" -eq "$1" ]; }

nm() {  # nm OBJECT METHOD ARGS...
  gdbus call --system --dest org.freedesktop.NetworkManager --object-path "$1" --method "${@:2}"
}
# The name of the network the Wi-Fi device is on, empty when none.
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
joined() { [ "$(joined_network)" = "$1" ]; }
# Joined, and no dialog opened on the way.
joined_without_dialog() {
  windows_open 1 || { echo "$who: a dialog opened" >&2; exit 1; }
  joined "$1"
}
# Row INDEX shows NAME joined: with its Forget button and without the "CONNECTING..." marker.
row_joined() {
  shows "$(row_area "$1")" "$2" && [[ "$last_text" == *FORGET* && "$last_text" != *CONNECTING* ]]
}
# The first list row that shows NAME, in $found_row.
found_row=""
row_shows() {
  local i
  for i in 0 1 2 3; do
    [[ "$(screen_text "$(row_area "$i")")" == *"$1"* ]] && { found_row=$i; return 0; }
  done
  return 1
}

SIMULATED_SUDO_LOG="$work/sudo.log" "$root/tools/simulated-device/run.sh" "$program" "$sample" "$manifest" \
  2>"$work/app.err" &
app_pid=$!
xdotool search --sync --onlyvisible --class updater >/dev/null

tap "$WIFI_BTN"
# Strongest first; on the virtual machine's radios, which all reach the top level, by name.
expect 120 "\"Fernhill Home\" on top of the list" shows "$(row_area 0)" "Fernhill Home"
shot wifi-list.png

tap_row 0
expect 60 "the password dialog" shows "$DIALOG_TITLE" "Enter password.*Fernhill Home"
type_text wrongpassword
shot wifi-password.png
tap "$ENTER_KEY"
expect 120 "\"Wrong password\"" shows "$DIALOG_TITLE" "Wrong password.*Fernhill Home"
shot wifi-wrong-password.png
echo "$who: the wrong password was refused and asked for again"

type_text fernhill-home
tap "$ENTER_KEY"
expect 30 "the dialog to close" windows_open 1
expect 120 "the device to join \"Fernhill Home\"" joined "Fernhill Home"
expect 60 "the joined row on top" row_joined 0 "Fernhill Home"
shot wifi-connected.png
echo "$who: the device joined \"$(joined_network)\""

expect 60 "\"Harbour Cafe\" in the list" row_shows "Harbour Cafe"
tap_row "$found_row"
expect 120 "the device to join \"Harbour Cafe\" without a dialog" joined_without_dialog "Harbour Cafe"
expect 60 "the joined open network on top" row_joined 0 "Harbour Cafe"
shot wifi-open-joined.png
echo "$who: the open network joined without a dialog"

tap "$BACK_BTN"
tap "$INSTALL_BTN"
wait_for "$work/app.err" "installing from" 30
shot wifi-installing.png
wait_for "$work/sudo.log" reboot 120
echo "$who: the sample updater succeeded and the device was told to reboot"
