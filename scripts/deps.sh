#!/bin/bash
# Installs every Debian package the build, the tests and the demo need.
# Skips apt entirely when everything is already present.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config clang-format
  clang-14 libclang-rt-14-dev llvm-14
  qtbase5-dev qtbase5-private-dev qttools5-dev-tools libqt5svg5 libqt5svg5-dev qtwayland5
  libzmq3-dev libssl-dev openssl
  dbus-daemon dbus dbus-bin libdbus-1-dev libglib2.0-bin
  network-manager network-manager-dev
  libwayland-dev weston libegl1 libegl-mesa0 libgl1-mesa-dri
  xvfb x11-utils xdotool imagemagick fonts-inter fontconfig
  python3-jwt python3-dbus
  util-linux iproute2 procps
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "deps: missing packages (${missing[*]}); run as root to install them" >&2
  exit 1
fi
echo "deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
# apt is shared with whatever else runs on the machine: wait for its lock rather than fail.
apt-get -o DPkg::Lock::Timeout=900 update -q
apt-get -o DPkg::Lock::Timeout=900 install -y -q --no-install-recommends "${missing[@]}"
