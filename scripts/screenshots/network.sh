#!/bin/bash
# Usage: scripts/screenshots/network.sh [OUTDIR]
#
# Renders the network settings panel under Xvfb at 2160x1080 with the Inter font, against the
# NetworkManager simulator on a private system bus with the sample networks
# (tools/nm_simulator/sample_networks.json). Each run of network_preview is on a fresh simulated
# device (tests/fixtures/device_root.sh), plays a few taps and saves screenshots:
#   panel-scanning.png    the panel while no network has been seen
#   panel.png             the Wi-Fi list with the Advanced button
#   password.png          "Enter password" for a secured network, partly typed
#   wrong-password.png    "Wrong password" after the simulator refused the first password
#   connecting.png        an open network joined, its activation held back by the simulator
#   connected.png         the joined network, bold with its checkmark and Forget
#   forget.png            the forget confirmation
#   panel-no-advanced.png the panel as the update program builds it
#   advanced.png          the advanced page, advanced-end.png scrolled to its last row
#   tethering-password.png, apn.png, hidden-ssid.png, hidden-password.png  its dialogs
#   tethering-on.png      the advanced page with the hotspot switched on
#   tethering-list.png    the Wi-Fi list meanwhile: the networks around, not the own hotspot
#   hidden-refused.png    "Wrong password" at once for a hidden network given a key under 8
#                         characters, which NetworkManager refuses; hidden-refused-cancelled.png
#                         the list after cancelling it, nothing left connecting
#   panel-styled-first.png, advanced-styled-first.png, tethering-password-styled-first.png
#                         the same screens with the window styled before the panel is built;
#                         the script fails unless each matches its counterpart pixel for pixel
#   list-100.png, list-100-end.png  a list of 100 networks, at its top and scrolled to its last row
# Needs a built tree (build/, or BUILD_DIR). Prints OUTDIR at the end.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Runs on a private device-sized X screen of its own.
if [ -z "${PRIVATE_SCREEN:-}" ]; then
  exec "$root/tests/fixtures/xvfb.sh" "$0" "$@"
fi
build="${BUILD_DIR:-$root/build}"
out="${1:-$build/screenshots/network}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
preview="$build/tools/network_preview/network_preview"
simulator="$build/tools/nm_simulator/nm_simulator"
networks="$root/tools/nm_simulator/sample_networks.json"
work="$(mktemp -d /tmp/network-screens.XXXXXX)"
trap 'rm -rf "$work"' EXIT

# One preview run on a fresh simulated device and simulator. SIM_ARGS replaces the sample networks;
# SIM_SETUP is run on the bus before the panel starts (e.g. a dbus-send to the simulator).
preview() {
  local sim_args=(--networks "$networks")
  [ -n "${SIM_ARGS+set}" ] && read -r -a sim_args <<<"$SIM_ARGS"
  "$root/tests/fixtures/device_root.sh" "$root/tests/fixtures/system_bus.sh" \
    --nm-simulator "$simulator" "${sim_args[@]}" --scan-delay 300 -- \
    sh -c "${SIM_SETUP:-true}"' && exec "$@"' sh "$preview" "$@"
}
simulator_call() {
  echo "dbus-send --system --print-reply --dest=org.halcyra.NmSimulator /org/halcyra/NmSimulator" \
    "org.halcyra.NmSimulator.$* >/dev/null"
}

SIM_ARGS="" preview wait:1000 shot:"$out/panel-scanning.png"

preview wait-rows:6 shot:"$out/panel.png" \
  tap:"Workshop 5G" type:spanner shot:"$out/password.png" type:-cake tap:→ \
  wait:1500 shot:"$out/wrong-password.png" type:spanner-drawer tap:→ \
  wait:1500 shot:"$out/connected.png" tap:FORGET shot:"$out/forget.png" tap:Cancel

SIM_SETUP="$(simulator_call SetFault string:ActivateConnection string:stall)" \
  preview wait-rows:6 tap:"Harbour Cafe" wait:800 shot:"$out/connecting.png"

preview --no-advanced wait-rows:6 shot:"$out/panel-no-advanced.png"

preview wait-rows:6 tap:Advanced shot:"$out/advanced.png" \
  show:"Hidden Network" shot:"$out/advanced-end.png" \
  tap:EDIT#1 shot:"$out/tethering-password.png" tap:Cancel \
  tap:EDIT#2 type:"internet.example" shot:"$out/apn.png" tap:Cancel \
  tap:CONNECT type:Attic shot:"$out/hidden-ssid.png" tap:→ shot:"$out/hidden-password.png" tap:Cancel \
  show:"Enable Tethering" toggle:"Enable Tethering" wait:1500 shot:"$out/tethering-on.png" \
  tap:Back wait:1500 shot:"$out/tethering-list.png"

# A hidden network's key under 8 characters, which NetworkManager refuses: asked again at once.
preview wait-rows:6 tap:Advanced show:"Hidden Network" tap:CONNECT type:Attic tap:→ type:short tap:→ \
  wait:800 shot:"$out/hidden-refused.png" tap:Cancel wait:800 shot:"$out/hidden-refused-cancelled.png"

# The update program styles its window before it builds the panel; the look must not depend on it.
preview --styled-first wait-rows:6 shot:"$out/panel-styled-first.png" \
  tap:Advanced shot:"$out/advanced-styled-first.png" \
  tap:EDIT#1 shot:"$out/tethering-password-styled-first.png" tap:Cancel
for shot in panel advanced tethering-password; do
  differing="$(compare -metric AE "$out/$shot.png" "$out/$shot-styled-first.png" null: 2>&1)" || true
  echo "screenshots: $shot.png and $shot-styled-first.png differ in $differing pixels" >&2
  [ "$differing" = 0 ] || exit 1
done

"$root/tools/nm_simulator/many_networks.sh" 100 "$work/many.json"
SIM_ARGS="--networks $work/many.json" preview --no-advanced wait-rows:100 shot:"$out/list-100.png" \
  show:"Network 9" wait:500 shot:"$out/list-100-end.png"

echo "$out"
