# shellcheck shell=bash
# Sourced by the scripts that drive a program on an X screen like a user would (xdotool taps),
# finding what they tap by the text it shows. The program must be started with the environment
# that `probe_env` prints, which loads the screen probe (tools/screen_driver) into it; the probe
# answers where a text is shown. The caller sets `out` (the screenshot folder) and `who` (the name
# its messages start with); the tools come from BUILD_DIR (default build/) and run under
# TARGET_RUN, the emulator of a cross build, if it is set.

drive_build="${BUILD_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build}"
drive_socket="${SCREEN_PROBE_SOCKET:-$(mktemp -u /tmp/screen-probe.XXXXXX)}"

# The environment that loads the probe into a Qt program, as NAME=VALUE words for `env`.
probe_env() {
  echo "QT_PLUGIN_PATH=$drive_build/tools/screen_driver/plugins" \
    "QT_QPA_GENERIC_PLUGINS=screen_probe:$drive_socket"
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

# tap_at X Y: a tap at a point of the screen, returning once the program has taken it.
tap_at() {
  local before deadline=$((SECONDS + 10))
  before="$(ask taps)" || { drive_fail "the program does not answer"; return 1; }
  xdotool mousemove "$1" "$2" click 1
  until [ "$(ask taps)" -gt "$before" ]; do
    [ "$SECONDS" -lt "$deadline" ] || { drive_fail "the tap at $1 $2 was not taken"; return 1; }
    sleep 0.05
  done
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

# shot NAME: saves the screen as $out/NAME once the last change is painted.
shot() {
  sleep 0.5
  import -window root "$out/$1"
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
