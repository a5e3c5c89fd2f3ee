#!/bin/bash
# The screen probe loaded into a real program, asked and tapped through the scripts' helpers
# (scripts/screenshots/drive.sh) with xdotool on a private X screen: the network preview's APN
# prompt is opened by the texts it shows and typed into across every keyboard page, and what the
# program stored is checked. Also: a text nobody shows is given up on in time, naming what shows.
#
# Usage: test_probe.sh BUILD_DIR [EMULATOR...]
#   EMULATOR runs the build's programs in a cross build.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
if [ -z "${PRIVATE_SCREEN:-}" ]; then
  exec "$root/tests/fixtures/xvfb.sh" "$0" "$@"
fi
BUILD_DIR="$(cd "$1" && pwd)"
shift
TARGET_RUN="$*"

work="$(mktemp -d /tmp/test-probe.XXXXXX)"
app_pid=""
cleanup() {
  if [ -n "$app_pid" ]; then kill -TERM "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

who="test_probe"
out="$work"
SCREEN_PROBE_SOCKET="$work/probe"
# shellcheck source=../../../scripts/screenshots/drive.sh
source "$root/scripts/screenshots/drive.sh"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# No NetworkManager: the advanced page does not need one.
# shellcheck disable=SC2046,SC2086  # NAME=VALUE words, the emulator's words
env $(probe_env) PARAMS_ROOT="$work/params" DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent \
  "$root/tests/fixtures/device_root.sh" $TARGET_RUN "$BUILD_DIR/tools/network_preview/network_preview" wait:600000 \
  2>"$work/preview.err" &
app_pid=$!

tap_text Advanced
tap_text EDIT 2
wait_text "Enter APN"
apn='Fjord-7.net&Co#[x]'
type_keys "$apn"
tap_text →
wait_text "APN Setting"
stored="$(cat "$work/params/d/GsmApn")"
[ "$stored" = "$apn" ] || fail "stored APN \"$stored\", typed \"$apn\""

if wait_text "No such row" 1 2>"$work/gave-up"; then
  fail "found a text nobody shows"
fi
grep -q "gave up waiting for \"No such row\"" "$work/gave-up" || fail "no reason given: $(cat "$work/gave-up")"
grep -q "^  Hidden Network$" "$work/gave-up" || fail "what shows is not named: $(cat "$work/gave-up")"

# Outside a dialog there is no keyboard to type on.
if ask key a; then
  fail "a key without a keyboard"
fi
echo "PASS"
