#!/bin/bash
# Usage: scripts/screenshots/wifi_walk.sh [--real-wifi | --device] [OUTDIR]
#
# Walks the update program's Wi-Fi path under Xvfb at 2160x1080 with the Inter font, on the
# simulated device (tests/fixtures/device_root.sh), tapping with xdotool like a user would what
# shows each text (scripts/screenshots/drive.sh):
#   opens the Wi-Fi page (wifi-list.png), taps "Fernhill Home" and types a wrong password on the
#   on-screen keyboard (wifi-password.png), is asked again (wifi-wrong-password.png), types the
#   right one (wifi-connected.png once the row shows it joined), taps the open "Harbour Cafe",
#   which joins without a dialog (wifi-open-joined.png), taps "Neighbour's Wi-Fi" and types its
#   key while its access point goes off the air, so that the join ends in the alert that it is out
#   of range (wifi-out-of-range.png; the row idle, the network still saved), goes back and installs
#   (wifi-installing.png) until the sample updater succeeds and the device is told to reboot.
# NetworkManager is the simulator with its sample networks (tools/nm_simulator/sample_networks.json)
# on a private system bus; with --real-wifi it is the real daemon, with wpa_supplicant and hostapd on
# simulated radios, inside the virtual machine of tests/fixtures/wifi_vm.sh (which has the same
# networks and keys).
# With --device it is the device twin: the same machine with the device's screen, a portrait
# 1080x2160 display on which weston runs with its kiosk shell and shows the program turned, and a
# touchscreen (tests/fixtures/device_panel.sh); every tap and the swipe down the list are touches
# on the panel, and each screenshot is the panel as it shows (panel-NAME.png, read back from qemu)
# and turned for reading (NAME.png). It also prints how long the first frame and a tap's answer
# took to show on the panel.
# Every step waits for what the screen or the daemon shows; the walk fails when something does
# not come, and when the program reports a failed D-Bus call other than a time-out (a failed walk
# leaves walk-failed.png and program-output.txt beside its screenshots). Needs a built program and
# simulator (build/, or BUILD_DIR). Prints what it checked.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${BUILD_DIR:-$root/build}"

mode=()
device=0
case "${1:-}" in
  --real-wifi) mode=(--real-wifi); shift ;;
  --device) mode=(--device); device=1; shift ;;
esac
out="$(mkdir -p "${1:-$build/screenshots/wifi-walk}" && cd "${1:-$build/screenshots/wifi-walk}" && pwd)"

# The walk runs on its own device-sized X screen and system bus: the virtual machine's, or a
# private one with the simulator serving on it.
if [ ${#mode[@]} -gt 0 ] && [ -z "${WIFI_VM:-}" ]; then
  if [ "$device" = 1 ]; then
    # Enough networks that the list scrolls on the panel.
    export WIFI_VM_PANEL=1 WIFI_VM_EXTRA_ACCESS_POINTS="wlan2|6|Lorry Park||0;wlan2|6|Depot Guest|depot-guest-1|0;wlan2|6|Signal Box|signal-box-22|0"
  fi
  WIFI_VM_OUT="$out" exec "$root/tests/fixtures/wifi_vm.sh" "$0" "${mode[@]}" "$out"
fi
if [ "$device" = 1 ] && [ -z "${PANEL_TOUCH:-}" ]; then
  exec "$root/tests/fixtures/device_panel.sh" "$0" "${mode[@]}" "$out"
fi
if [ "$device" = 0 ] && [ -z "${PRIVATE_SCREEN:-}" ]; then
  exec "$root/tests/fixtures/xvfb.sh" "$0" "${mode[@]}" "$out"
fi
if [ ${#mode[@]} -eq 0 ] && [ -z "${NM_SIMULATOR_PID:-}" ]; then
  exec "$root/tests/fixtures/system_bus.sh" --nm-simulator "$build/tools/nm_simulator/nm_simulator" \
    --networks "$root/tools/nm_simulator/sample_networks.json" -- "$0" "$out"
fi

# What an earlier failed walk left there would read as this walk's.
rm -f "$out/walk-failed.png" "$out/panel-walk-failed.png" "$out/program-output.txt"
program="$build/ui/qt/setup/updater"
sample="$root/tools/sample-updater/sample-updater"
manifest="$root/tools/sample-updater/manifest.json"

work="$(mktemp -d /tmp/wifi-walk.XXXXXX)"
app_pid=""
cleanup() {
  local rc=$?
  # A failed walk keeps the screen, while the program still shows it, and what the program printed
  # beside its screenshots.
  if [ "$rc" -ne 0 ]; then
    if [ "$device" = 1 ]; then
      "$root/tests/fixtures/panel_request.sh" "$out/panel-walk-failed.png" "$out/walk-failed.png" >/dev/null 2>&1 ||
        true
    else
      import -window root "$out/walk-failed.png" 2>/dev/null || true
    fi
  fi
  # The program's exit code does not matter here; each step must run.
  if [ -n "$app_pid" ]; then kill -TERM "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true; fi
  if [ "$rc" -ne 0 ]; then
    cp "$work/app.err" "$out/program-output.txt" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

who="wifi walk"
SCREEN_PROBE_SOCKET="$work/probe"
# shellcheck source=drive.sh
source "$root/scripts/screenshots/drive.sh"

# Under emulation the daemon takes seconds per step (a join up to 17 s, a wrong key 5-8 s, a scan
# can miss a network): every wait allows minutes there.
patience=20
[ ${#mode[@]} -eq 0 ] || patience=120
# A tap under emulation, with the compositor between, may take seconds to be taken.
[ "$device" = 0 ] || export DRIVE_PATIENCE=60

# until_true SECONDS WHAT CONDITION...: waits until CONDITION holds, or fails the walk.
until_true() {
  local seconds=$1 what=$2
  local deadline=$((SECONDS + seconds))
  shift 2
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || { drive_fail "gave up waiting ${seconds}s for $what"; return 1; }
    sleep 0.2
  done
}

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
# The names of the saved Wi-Fi connections, one a line.
saved_networks() {
  local path
  for path in $(nm /org/freedesktop/NetworkManager/Settings org.freedesktop.NetworkManager.Settings.ListConnections |
    grep -o "/org/[^']*"); do
    nm "$path" org.freedesktop.NetworkManager.Settings.Connection.GetSettings | grep -o "'ssid': <\[byte [^]]*\]>" |
      grep -o "0x[0-9a-f]*" | while read -r byte; do printf "\\x${byte#0x}"; done
    echo
  done
}
saved() { saved_networks | grep -qxF "$1"; }
# on_air away|back NAME: the network's access point leaves the air or comes back (hostapd in the
# virtual machine, the simulator's control otherwise).
on_air() {
  if [ ${#mode[@]} -gt 0 ]; then
    "$root/tests/fixtures/wifi_vm_ap.sh" "$1" "$2"
  else
    local method=TakeAway
    [ "$1" = away ] || method=BringBack
    gdbus call --system --dest org.halcyra.NmSimulator --object-path /org/halcyra/NmSimulator \
      --method "org.halcyra.NmSimulator.$method" "\"$2\"" | grep -q "(1,)"
  fi
}
# The alert shows, its first line naming the network and its second saying why.
alert_shows() {
  local texts
  texts="$(ask texts)" || return 1
  grep -Fxq "Could not connect to \"$1\"" <<<"$texts" && grep -Fxq "$2" <<<"$texts"
}
no_alert() {
  ! ask texts 2>/dev/null | grep -q "^Could not connect to" || { drive_fail "an alert showed"; exit 1; }
}
dialog_closed() { ! ask shown "$1" 2>/dev/null; }
# Joined, and no dialog opened on the way.
joined_without_dialog() {
  ! ask shown "Enter password" 2>/dev/null || { drive_fail "a password dialog opened"; exit 1; }
  joined "$1"
}
# NAME's row is the first of the walk's networks in the list (the probe gives the rows' texts in
# the list's order) and nothing shows "CONNECTING...": the list shows it joined.
NETWORKS=("Fernhill Home" "Harbour Cafe" "Workshop 5G" "Neighbour's Wi-Fi")
row_joined() {
  ! ask shown "CONNECTING..." 2>/dev/null || return 1
  local texts first
  texts="$(ask texts)" || return 1
  first="$(grep -Fx -m1 "${NETWORKS[@]/#/-e}" <<<"$texts")" || return 1
  [ "$first" = "$1" ]
}

# On the device's panel: the seconds from EPOCHREALTIME $1 until the pixel of the panel that shows
# the window's point ($2, $3) has colour $4 (or, as "!RRGGBB", no longer has it).
panel_seconds() {
  local at
  at="$(on_panel "$2" "$3")"
  # shellcheck disable=SC2086  # "X Y"
  # Read back outside, into the folder shared with it.
  "$root/tests/fixtures/panel_request.sh" "$out/.panel-wait.png" $at "$4" 600 >/dev/null ||
    { drive_fail "the panel never showed $4 at the window's point $2 $3"; return 1; }
  rm -f "$out/.panel-wait.png"
  awk -v from="$1" -v to="$EPOCHREALTIME" 'BEGIN { printf "%.1f", to - from }'
}

# shellcheck disable=SC2046  # NAME=VALUE words
started=$EPOCHREALTIME
env $(probe_env) FAKE_SUDO_LOG="$work/sudo.log" "$root/tests/fixtures/device_root.sh" "$program" "$sample" \
  "$manifest" 2>"$work/app.err" &
app_pid=$!
wait_text "Update Required" "$patience"

if [ "$device" = 1 ]; then
  # A point of the blue face of "Install", clear of its text.
  read -r install_x install_y <<<"$(ask find 1 Install)"
  face_x=$((install_x - 300)) face_y=$install_y
  seconds="$(panel_seconds "$started" "$face_x" "$face_y" 465BEA)"
  echo "$who: the first frame was on the panel ${seconds}s after the program started"
  shot prompt.png
  tapped=$EPOCHREALTIME
  tap_text "Connect to Wi-Fi"
  seconds="$(panel_seconds "$tapped" "$face_x" "$face_y" '!465BEA')"
  echo "$who: the tap on \"Connect to Wi-Fi\" was answered on the panel ${seconds}s after the touch"
else
  tap_text "Connect to Wi-Fi"
fi
# Strongest first; on the virtual machine's radios, which all reach the top level, by name.
wait_text "Fernhill Home" "$patience"
shot wifi-list.png

if [ "$device" = 1 ]; then
  # A finger drawn up the list scrolls it on, the way the finger moved.
  wait_text "Signal Box" "$patience"
  read -r cafe_x cafe_y <<<"$(ask where 1 "Harbour Cafe")"
  swipe_at "$cafe_x" $((cafe_y + 100)) -300
  scrolled_up() {
    local answer y
    answer="$(ask where 1 "Harbour Cafe")" || { echo "where: $? $answer" >&2; return 1; }
    read -r _ y <<<"$answer"
    [ "$y" -lt $((cafe_y - 250)) ]
  }
  until_true "$patience" "the list to follow the finger" scrolled_up
  shot wifi-swiped.png
  echo "$who: the swipe up the list scrolled it on"
fi

tap_text "Fernhill Home"
wait_text "Enter password" "$patience"
wait_text 'for "Fernhill Home"'
type_keys wrongpassword
shot wifi-password.png
tap_text →
wait_text "Wrong password" "$patience"
wait_text 'for "Fernhill Home"'
shot wifi-wrong-password.png
echo "$who: the wrong password was refused and asked for again"

type_keys fernhill-home
tap_text →
until_true "$patience" "the dialog to close" dialog_closed "Wrong password"
until_true "$patience" "the device to join \"Fernhill Home\"" joined "Fernhill Home"
until_true "$patience" "the joined row on top" row_joined "Fernhill Home"
no_alert
shot wifi-connected.png
echo "$who: the device joined \"$(joined_network)\", with no alert after the wrong password"

wait_text "Harbour Cafe" "$patience"
tap_text "Harbour Cafe"
until_true "$patience" "the device to join \"Harbour Cafe\" without a dialog" joined_without_dialog "Harbour Cafe"
until_true "$patience" "the joined open network on top" row_joined "Harbour Cafe"
shot wifi-open-joined.png
echo "$who: the open network joined without a dialog"

# Out of range by the time its key is given: the daemon looks for it in vain (about 27 s in the
# virtual machine), and the user is told; the row goes idle and the right key stays saved.
far="Neighbour's Wi-Fi"
# Until here nothing failed; from here a join fails by design, and the daemon may drop the objects
# of that attempt between a list and a read of them.
lines_before_failure="$(wc -l <"$work/app.err")"
wait_text "$far" "$patience"
tap_text "$far"
wait_text "Enter password" "$patience"
type_keys not-yours-1
on_air away "$far"
tap_text →
until_true "$patience" "the alert that \"$far\" is out of range" alert_shows "$far" "The network is out of range."
shot wifi-out-of-range.png
tap_text Ok
until_true "$patience" "the alert to close" dialog_closed Ok
! ask shown "CONNECTING..." 2>/dev/null || { drive_fail "a row still shows CONNECTING..."; exit 1; }
saved "$far" || { drive_fail "\"$far\" is no longer saved"; exit 1; }
on_air back "$far"
echo "$who: \"$far\" went out of range while joining: told so, the row idle, the network still saved"

tap_text Back
tap_text Install
wait_for "$work/app.err" "installing from" 30
shot wifi-installing.png
if [ "$device" = 1 ]; then
  # The compositor goes away mid-install, as a crash would take it: the update runs to its end
  # without a screen, and the program ends once it has asked for the reboot.
  kill -KILL "$PANEL_COMPOSITOR_PID"
  echo "$who: weston was ended mid-install"
  status=0
  wait "$app_pid" || status=$?
  app_pid=""
  [ "$status" = 0 ] && [ "$(cat "$work/sudo.log")" = reboot ] ||
    { echo "$who: the program ended with $status and asked: $(cat "$work/sudo.log" 2>/dev/null)" >&2; exit 1; }
  echo "$who: the update ran on without the screen, asked for one reboot and the program ended with 0"
else
  wait_for "$work/sudo.log" reboot 120
  echo "$who: the sample updater succeeded and the device was told to reboot"
fi

# Nothing failed on the way until the out-of-range join, so the program reported no failed call
# before it; none, ever, was a call to no object ("/"). Left aside: a time-out (a slow emulated
# machine can take longer than the program's 100 ms bound), and a read of an active connection
# that the daemon removed between listing it and the read (it drops the one a join replaces).
failed_calls="$(
  head -n "$lines_before_failure" "$work/app.err" | grep "DBus call error" |
    grep -v -e "Did not receive a reply" -e "Object does not exist at path “/org/freedesktop/NetworkManager/ActiveConnection/[0-9]*”"
  grep "DBus call error.*path “/”" "$work/app.err"
)" || true
if [ -n "$failed_calls" ]; then
  echo "$who: the program reported failed calls:" >&2
  echo "$failed_calls" >&2
  exit 1
fi
echo "$who: the program reported no failed call that counts ($(grep -c "DBus call error" "$work/app.err" || true) left aside)"
