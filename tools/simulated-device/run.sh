#!/bin/bash
# Usage: run.sh CMD [ARGS...]
#
# Runs CMD as if on the device, with nothing on the host touched:
# - a private mount namespace where the host's backlight controls are hidden under an empty tmpfs
#   (start-up would otherwise switch the panel on and set its brightness),
# - a scratch parameter store (PARAMS_ROOT),
# - a `sudo` first on PATH that only reports and records its arguments in $SIMULATED_SUDO_LOG,
#   so "reboot" reboots nothing.
# The caller's display (DISPLAY, WAYLAND_DISPLAY) stays usable. Works as root, and otherwise through
# a user namespace.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

if [ "${SIMULATED_DEVICE_INSIDE:-}" != "$$" ]; then
  export SIMULATED_DEVICE_INSIDE=$$
  if [ "$(id -u)" -eq 0 ]; then
    exec unshare --mount --propagation private "$here/run.sh" "$@"
  fi
  exec unshare --mount --propagation private --map-root-user "$here/run.sh" "$@"
fi
unset SIMULATED_DEVICE_INSIDE

if [ -d /sys/class/backlight ]; then
  mount -t tmpfs -o mode=0755 simulated-device /sys/class/backlight
fi

scratch="$(mktemp -d /tmp/simulated-device.XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
export PARAMS_ROOT="$scratch/params"
export SIMULATED_SUDO_LOG="${SIMULATED_SUDO_LOG:-$scratch/sudo.log}"
export PATH="$here/bin:$PATH"

# Signals go on to CMD, so stopping this script stops the program and still cleans up.
"$@" &
child=$!
trap 'kill -TERM "$child" 2>/dev/null' TERM INT
status=0
wait "$child" || status=$?
# A trapped signal interrupts the first wait; this one collects the real status.
if kill -0 "$child" 2>/dev/null; then
  wait "$child" || status=$?
fi
exit "$status"
