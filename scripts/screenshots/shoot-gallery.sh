#!/bin/bash
# Photographs every scene of a gallery program on the current X display: starts the
# gallery with each scene, waits for its "ready" line and saves the screen as OUT_DIR/SCENE.png.
# Run it on a device-sized screen, e.g. through tests/fixtures/xvfb.sh.
#
# Usage: shoot-gallery.sh GALLERY OUT_DIR [WRAPPER...]
#   WRAPPER (optional) runs each scene, e.g. tests/fixtures/device_root.sh.
set -euo pipefail

gallery="$1"
out="$2"
shift 2
wrapper=("$@")

mkdir -p "$out"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
fc-list : family | grep Inter >/dev/null || echo "shoot-gallery: the Inter font is not installed" >&2

for scene in $("$gallery" --list); do
  "${wrapper[@]}" "$gallery" "$scene" >"$scratch/$scene.out" 2>"$scratch/$scene.err" &
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
    echo "shoot-gallery: scene $scene did not come up" >&2
    cat "$scratch/$scene.err" >&2
  fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
done
