#!/bin/bash
# Renders the SSH rows (switch and keys row) in each state on an X screen of the device's
# size (2160x1080) with the Inter font and saves one PNG per scene. The rows write the
# parameter store, so each scene runs inside the private device root.
#
# Usage: scripts/screenshots/ssh_keys.sh [BUILD_DIR] [OUT_DIR]
#   BUILD_DIR defaults to build, OUT_DIR to out/screenshots/ssh_keys.
#   SHOT_DISPLAY picks the X display number (default 61).
set -euo pipefail
cd "$(dirname "$0")/../.."

build="${1:-build}"
out="${2:-out/screenshots/ssh_keys}"
display=":${SHOT_DISPLAY:-61}"

cmake --build "$build" --target ssh_gallery >/dev/null
gallery="$build/tests/ui/qt/widgets/ssh_gallery"
mkdir -p "$out"
scratch="$(mktemp -d)"

xvfb_pid=""
cleanup() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 2160x1080x24 -nolisten tcp 2>"$scratch/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  xdpyinfo -display "$display" >/dev/null 2>&1 && break
  sleep 0.05
done

export DISPLAY="$display" QT_QPA_PLATFORM=xcb DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent HOME="$scratch"
fc-list | grep "Inter" >/dev/null || echo "ssh_keys.sh: the Inter font is not installed" >&2

for scene in $("$gallery" --list); do
  tests/fixtures/device_root.sh "$gallery" "$scene" >"$scratch/$scene.out" 2>"$scratch/$scene.err" &
  pid=$!
  for _ in $(seq 200); do
    grep -q ready "$scratch/$scene.out" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  if grep -q ready "$scratch/$scene.out"; then
    import -window root "$out/$scene.png"
    echo "$out/$scene.png"
  else
    echo "ssh_keys.sh: scene $scene did not come up" >&2
    cat "$scratch/$scene.err" >&2
  fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
done
