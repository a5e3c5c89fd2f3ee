#!/bin/bash
# Usage: xvfb.sh CMD [ARGS...]
#
# Runs CMD on a private X screen of the device's size, 2160x1080, so that windows
# placed full-screen get the size they have on the device (the offscreen platform
# has an 800x600 screen). Xvfb picks a free display number itself.
set -euo pipefail

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

Xvfb -displayfd 3 -screen 0 2160x1080x24 -nolisten tcp 3>"$scratch/display" 2>"$scratch/xvfb.log" &
xvfb_pid=$!

for _ in $(seq 100); do
  [ -s "$scratch/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || { cat "$scratch/xvfb.log" >&2; exit 1; }
  sleep 0.05
done
[ -s "$scratch/display" ] || { echo "xvfb.sh: Xvfb did not start" >&2; exit 1; }

export DISPLAY=":$(head -n1 "$scratch/display")"
export QT_QPA_PLATFORM=xcb
"$@"
