#!/bin/bash
# Renders each widget scene and dialog of the touch toolkit on an X screen of the
# device's size (2160x1080) with the Inter font and saves one PNG per scene.
#
# Usage: scripts/screenshots/widgets.sh [BUILD_DIR] [OUT_DIR]
#   BUILD_DIR defaults to build, OUT_DIR to out/screenshots/widgets.
set -euo pipefail
cd "$(dirname "$0")/../.."

build="${1:-build}"
out="${2:-out/screenshots/widgets}"
cmake --build "$build" --target widgets_gallery >/dev/null
tests/fixtures/xvfb.sh scripts/screenshots/shoot-gallery.sh "$build/tests/ui/qt/widgets/widgets_gallery" "$out" \
  tests/fixtures/device_root.sh
