# shellcheck shell=bash
# Sourced by the scripts that drive a program like a user would, finding what they tap by the text
# it shows: on an X screen with xdotool, or on the device's screen (tests/fixtures/device_panel.sh
# sets PANEL_TOUCH) with a finger on its touchscreen, where what the window shows at (x, y) is on
# the portrait panel at (y, 2160 - x). The program must be started with the environment that
# `probe_env` prints, which loads the screen probe (tools/screen_driver) into it; the probe
# answers where a text is shown, in the window's coordinates. The caller sets `out` (the
# screenshot folder) and `who` (the name its messages start with); the tools come from BUILD_DIR
# (default build/) and run under TARGET_RUN, the emulator of a cross build, if it is set.

drive_build="${BUILD_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build}"
drive_socket="${SCREEN_PROBE_SOCKET:-$(mktemp -u /tmp/screen-probe.XXXXXX)}"

# probe_env [SOCKET]: the environment that loads the probe into a Qt program, as NAME=VALUE words
# for `env`; it answers on SOCKET, by default the one `ask` asks.
probe_env() {
  echo "QT_PLUGIN_PATH=$drive_build/tools/screen_driver/plugins" \
    "QT_QPA_GENERIC_PLUGINS=screen_probe:${1:-$drive_socket}"
}

# ask FIELD...: one question to the probe (see tools/screen_driver/probe.h); the answer on stdout.
ask() {
  # shellcheck disable=SC2086  # the emulator's words
  ${TARGET_RUN:-} "$drive_build/tools/screen_driver/screen_ask" "$drive_socket" "$@"
}

drive_fail() {
  echo "$who: $1; the screen shows:" >&2
  ask texts 2>/dev/null | sed 's/^/  /' >&2 || echo "  (the program does not answer)" >&2
  return 1
}

# wait_text TEXT [SECONDS]: waits (default 10 s) until a widget shows TEXT.
wait_text() {
  local deadline=$((SECONDS + ${2:-10}))
  while ! ask shown "$1" 2>/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || { drive_fail "gave up waiting for \"$1\""; return 1; }
    sleep 0.05
  done
}

drive_fixtures="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../tests/fixtures" && pwd)"

# on_panel X Y: where the device's panel shows the window's point (X, Y).
on_panel() { echo "$2 $((2160 - $1))"; }

# tap_at X Y: a tap at a point of the window, returning once the program has taken it.
tap_at() {
  local before deadline=$((SECONDS + ${DRIVE_PATIENCE:-10}))
  before="$(ask taps)" || { drive_fail "the program does not answer"; return 1; }
  if [ -n "${PANEL_TOUCH:-}" ]; then
    echo "tap $(on_panel "$1" "$2")" >"$PANEL_TOUCH"
  else
    xdotool mousemove "$1" "$2" click 1
  fi
  until [ "$(ask taps)" -gt "$before" ]; do
    [ "$SECONDS" -lt "$deadline" ] || { drive_fail "the tap at $1 $2 was not taken"; return 1; }
    sleep 0.05
  done
}

# swipe_at X Y DY: a finger put down at a point of the window and drawn DY pixels down it (up when
# negative) over half a second, then lifted.
swipe_at() {
  local to=$(($2 + $3))
  if [ -n "${PANEL_TOUCH:-}" ]; then
    echo "swipe $(on_panel "$1" "$2") $(on_panel "$1" "$to") 12 500" >"$PANEL_TOUCH"
  else
    xdotool mousemove "$1" "$2" mousedown 1 mousemove "$1" $((($2 + to) / 2)) sleep 0.25 \
      mousemove "$1" "$to" sleep 0.25 mouseup 1
  fi
}

# tap_text TEXT [K]: taps the K-th (default first) widget showing TEXT, once it shows.
tap_text() {
  wait_text "$1" || return 1
  local point
  point="$(ask find "${2:-1}" "$1")" || { drive_fail "cannot tap \"$1\" ${2:-1}"; return 1; }
  # shellcheck disable=SC2086  # "X Y"
  tap_at $point
}

# type_keys TEXT: types TEXT on the open dialog's on-screen keyboard, turning its pages as needed.
type_keys() {
  local i c answer kind hops
  for ((i = 0; i < ${#1}; i++)); do
    c="${1:i:1}"
    for ((hops = 0; ; hops++)); do
      answer="$(ask key "$c")" || { drive_fail "no key types \"$c\""; return 1; }
      kind="${answer##* }"
      [ "$kind" = type ] || [ "$hops" -lt 4 ] || { drive_fail "no page has \"$c\""; return 1; }
      # shellcheck disable=SC2086  # "X Y"
      tap_at ${answer% *} || return 1
      [ "$kind" != type ] || break
    done
  done
}

# shot NAME: saves the screen as $out/NAME once the last change is painted. The device's panel is
# read back by the machine outside (tests/fixtures/panel_request.sh): the picture as it shows is
# $out/panel-NAME, and $out/NAME the same turned for reading.
shot() {
  sleep 0.5
  if [ -n "${WIFI_VM_PANEL_REQUESTS:-}" ]; then
    "$drive_fixtures/panel_request.sh" "$out/panel-$1" "$out/$1" >/dev/null
  else
    import -window root "$out/$1"
  fi
  echo "$who: $out/$1"
}

# wait_for FILE TEXT SECONDS: waits until FILE holds TEXT.
wait_for() {
  for _ in $(seq $(($3 * 10))); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "$who: gave up waiting for '$2' in $1" >&2
  return 1
}
