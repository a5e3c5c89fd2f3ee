#!/bin/bash
# Usage: scripts/demo.sh [--fail | --real-wifi | --device]
#
# Sets up this Debian 12 machine (packages), builds the program and runs it on a simulated
# device, with no hardware and nothing on the host touched (tests/fixtures/device_root.sh): its
# parameter store and device files on private tmpfs, a `sudo` that records "reboot" instead of
# rebooting, the host's backlight hidden. The OS updater it runs is tools/sample-updater, about 20 seconds of progress lines;
# --fail makes it fail half-way. NetworkManager is the simulator (tools/nm_simulator) on a private
# system bus, with its sample networks (tools/nm_simulator/sample_networks.json): "Harbour Cafe"
# open, "Fernhill Home" (password "fernhill-home"), "Workshop 5G" ("spanner-drawer"), "Old Router"
# ("letmein123") and "Neighbour's Wi-Fi" ("not-yours-1") secured, "Campus Secure" unsupported, and
# the hidden "Attic" ("hidden-attic").
#
# With a display (DISPLAY or WAYLAND_DISPLAY set) the window opens there; SCALE=0.5 makes the
# window fit a laptop screen (the screen's own sizes stay in device pixels, so it is cramped). Without one it runs under Xvfb, taps through the screens itself and saves a
# screenshot of each into DEMO_OUT/updater (DEMO_OUT defaults to build/demo-screenshots); it also
# walks the Wi-Fi path into DEMO_OUT/wifi-walk: opens the Wi-Fi page, joins "Fernhill Home" with a
# wrong and then the right password, joins the open "Harbour Cafe", tries "Neighbour's Wi-Fi" as it
# goes out of range, goes back and installs. Its last line lists the pictures.
#
# --real-wifi walks the same Wi-Fi path on the real stack instead: NetworkManager, wpa_supplicant and
# hostapd on simulated radios inside a throw-away virtual machine (tests/fixtures/wifi_vm.sh, with
# the same network names and passwords), the program on an X screen inside it; it also joins the open
# "Harbour Cafe". Its screenshots go to DEMO_OUT (default build/demo-screenshots/real-wifi). The
# machine boots in 20-60 s under software emulation; the walk takes a few minutes.
#
# --device walks it on the device twin: the same machine with the device's screen, a portrait
# 1080x2160 display on which weston (DRM/KMS, kiosk shell) shows the program turned, and a
# touchscreen; every step is a touch, with a swipe down the list. Its screenshots go to DEMO_OUT
# (default build/demo-screenshots/device): panel-NAME.png is the panel as it shows, NAME.png the
# same turned for reading. It prints how long the first frame and a tap's answer took to show.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

fail=0
machine=""
for arg in "$@"; do
  case "$arg" in
    --fail) fail=1 ;;
    --real-wifi) machine=real-wifi ;;
    --device) machine=device ;;
    *) echo "usage: $0 [--fail | --real-wifi | --device]" >&2; exit 2 ;;
  esac
done

if [ -n "$machine" ]; then
  bash scripts/deps.sh
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo </dev/null >/dev/null
  cmake --build build -j"$(nproc)" --target updater screen_probe screen_ask </dev/null
  out="${DEMO_OUT:-$PWD/build/demo-screenshots/$machine}"
  scripts/screenshots/wifi_walk.sh "--$machine" "$out"
  echo "demo: the Wi-Fi walk on the $machine machine (list, password, wrong password, connected, open" \
    "network joined, out of range, installing) is in $out: $(cd "$out" && find . -name '*.png' -printf '%P\n' | sort | paste -sd ' ')"
  exit 0
fi

if [ -z "${NM_SIMULATOR_PID:-}" ]; then
  bash scripts/deps.sh
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo </dev/null >/dev/null
  cmake --build build -j"$(nproc)" --target updater nm_simulator screen_probe screen_ask </dev/null
  # The rest runs on a private system bus, the NetworkManager simulator serving on it.
  exec tests/fixtures/system_bus.sh --nm-simulator build/tools/nm_simulator/nm_simulator \
    --networks tools/nm_simulator/sample_networks.json -- "$PWD/scripts/demo.sh" "$@"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  out="${DEMO_OUT:-$PWD/build/demo-screenshots}"
  echo "demo: no display; running under Xvfb and tapping through the screens"
  # Each set in its own folder: both name a picture failed.png (the update's failure screen, and
  # the screen where a walk that failed stopped), and the walk clears its own.
  scripts/screenshots/updater.sh "$out/updater"
  scripts/screenshots/wifi_walk.sh "$out/wifi-walk"
  echo "demo: the screenshots of the update screens and of the Wi-Fi walk are in $out:" \
    "$(cd "$out" && find updater wifi-walk -name '*.png' | sort | paste -sd ' ')"
  exit 0
fi

# On a desktop an X11 window (XWayland included) is preferred; a Wayland desktop shows it upright
# as well (the program turns its buffers only on a portrait output, the device's panel).
if [ -n "${DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM=xcb
else
  export QT_QPA_PLATFORM=wayland
fi
if [ "$fail" = 1 ]; then
  export SAMPLE_UPDATER_FAIL=1
fi

sudo_log="$(mktemp /tmp/updater-demo-sudo.XXXXXX)"
app_pid=""
cleanup() {
  # Under `set -e` a failed last step here would turn a finished demo into a failure.
  if [ -n "$app_pid" ] && kill -TERM "$app_pid" 2>/dev/null; then
    wait "$app_pid" 2>/dev/null || true
  fi
  rm -f "$sudo_log"
}
trap cleanup EXIT

FAKE_SUDO_LOG="$sudo_log" tests/fixtures/device_root.sh build/ui/qt/setup/updater \
  "$PWD/tools/sample-updater/sample-updater" "$PWD/tools/sample-updater/manifest.json" &
app_pid=$!
echo "demo: the update screen is open; tap \"Install\" (Ctrl-C or closing this terminal ends it)"

# A real device would restart on "sudo reboot"; here the program is stopped instead.
while kill -0 "$app_pid" 2>/dev/null; do
  if grep -q '^reboot$' "$sudo_log"; then
    echo "demo: the program asked the device to reboot; a real device would restart now"
    break
  fi
  sleep 0.2
done
