#!/bin/bash
# Usage: bench/networking/peak_rss.sh [NETWORKS] [OUTDIR]
#
# Peak resident memory (VmHWM) of the whole update program with its Wi-Fi page shown, under
# Xvfb at 2160x1080 on the simulated device, against the NetworkManager simulator: once with no
# network around (the baseline) and once with NETWORKS (default 100) listed, one after the other
# in the same run. A screenshot of each page goes to OUTDIR (default build/bench/networking).
# Needs a built program and simulator (build/, or BUILD_DIR).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Runs on a private device-sized X screen of its own.
if [ -z "${PRIVATE_SCREEN:-}" ]; then
  exec "$root/tests/fixtures/xvfb.sh" "$0" "$@"
fi
build="${BUILD_DIR:-$root/build}"
networks="${1:-100}"
out="$(mkdir -p "${2:-$build/bench/networking}" && cd "${2:-$build/bench/networking}" && pwd)"

work="$(mktemp -d /tmp/peak-rss.XXXXXX)"
cleanup() {
  rm -rf "$work"
}
trap cleanup EXIT

# Inside the private bus: opens the Wi-Fi page, waits for the list, prints VmHWM in kB.
cat >"$work/measure.sh" <<'EOF'
set -euo pipefail
"$ROOT/tests/fixtures/device_root.sh" "$BUILD/ui/qt/setup/updater" /bin/true /dev/null 2>/dev/null &
run_pid=$!
pid="$(xdotool search --sync --onlyvisible --class updater getwindowpid)"
sleep 1
xdotool mousemove 580 900 click 1   # "Connect to Wi-Fi"
sleep 3
import -window root "$SHOT"
grep VmHWM "/proc/$pid/status" | awk '{print $2}'
kill -TERM "$run_pid" 2>/dev/null || true
wait "$run_pid" 2>/dev/null || true
EOF

measure() {  # NETWORKS_FILE SHOT
  ROOT="$root" BUILD="$build" SHOT="$2" "$root/tests/fixtures/system_bus.sh" \
    --nm-simulator "$build/tools/nm_simulator/nm_simulator" --networks "$1" -- bash "$work/measure.sh"
}

"$root/tools/nm_simulator/many_networks.sh" 0 "$work/none.json"
"$root/tools/nm_simulator/many_networks.sh" "$networks" "$work/many.json"
baseline_kb="$(measure "$work/none.json" "$out/peak-rss-none.png")"
listed_kb="$(measure "$work/many.json" "$out/peak-rss-$networks.png")"
echo "peak RSS, Wi-Fi page shown: no networks $((baseline_kb / 1024)) MiB (${baseline_kb} kB)," \
  "$networks networks $((listed_kb / 1024)) MiB (${listed_kb} kB)," \
  "ratio $(awk "BEGIN {printf \"%.3f\", $listed_kb / $baseline_kb}")," \
  "difference $(((listed_kb - baseline_kb) / 1024)) MiB"
echo "screenshots: $out/peak-rss-none.png $out/peak-rss-$networks.png"
