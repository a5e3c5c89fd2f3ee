#!/bin/bash
# Renders the SSH rows (switch and keys row) in each state on an X screen of the device's
# size (2160x1080) with the Inter font and saves one PNG per scene. The rows write the
# parameter store, so each scene runs inside the private device root.
#
# Usage: scripts/screenshots/ssh_keys.sh [BUILD_DIR] [OUT_DIR]
#   BUILD_DIR defaults to build, OUT_DIR to out/screenshots/ssh_keys.
set -euo pipefail
cd "$(dirname "$0")/../.."

build="${1:-build}"
out="${2:-out/screenshots/ssh_keys}"
cmake --build "$build" --target ssh_gallery >/dev/null
HOME="$(mktemp -d)" tests/fixtures/xvfb.sh scripts/screenshots/shoot-gallery.sh \
  "$build/tests/ui/qt/widgets/ssh_gallery" "$out" tests/fixtures/device_root.sh
