#!/bin/bash
# Installs every Debian package the build, the tests, the demo and the benchmarks need.
# --arm64 adds what cross-building for the device (AArch64) and running that build under
# emulation need: the arm64 architecture, the cross compiler, qemu's user emulation and
# the :arm64 libraries (they install beside the amd64 ones).
# Skips apt entirely when everything is already present.
# --wifi-vm: only the packages of the virtual machine with a real Wi-Fi stack
# (tests/fixtures/wifi_vm.sh); its kernel is downloaded by the fixture, not installed.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config clang-format
  clang-14 libclang-rt-14-dev llvm-14
  qtbase5-dev qtbase5-private-dev qttools5-dev-tools libqt5svg5 libqt5svg5-dev qtwayland5 qtwayland5-private-dev
  libzmq3-dev libssl-dev openssl
  dbus-daemon dbus dbus-bin libdbus-1-dev libglib2.0-bin
  network-manager network-manager-dev
  libwayland-dev wayland-protocols weston libegl1 libegl-mesa0 libgl1-mesa-dri
  xvfb x11-utils xdotool imagemagick fonts-inter fontconfig
  python3-jwt python3-dbus
  util-linux iproute2 procps
  valgrind
  lintian
)
WIFI_VM_PACKAGES=(
  qemu-system-x86 busybox-static kmod xz-utils udev dbus-daemon libglib2.0-bin network-manager
  wpasupplicant hostapd iw wireless-regdb dnsmasq-base nftables iproute2 util-linux
  weston python3-evdev imagemagick
)
ARM64_PACKAGES=(
  crossbuild-essential-arm64 qemu-user-static python3-seccomp pkgconf:arm64
  qtbase5-dev:arm64 qtbase5-private-dev:arm64 libqt5svg5-dev:arm64 qtwayland5:arm64 qtwayland5-private-dev:arm64
  libzmq3-dev:arm64 libssl-dev:arm64 libwayland-dev:arm64
  libegl1:arm64 libegl-mesa0:arm64 libgl1-mesa-dri:arm64
)

case "${1:-}" in
  "") PACKAGES+=("${WIFI_VM_PACKAGES[@]}") ;;
  --wifi-vm) PACKAGES=("${WIFI_VM_PACKAGES[@]}") ;;
  --arm64) PACKAGES+=("${ARM64_PACKAGES[@]}") ;;
  *) echo "usage: $0 [--wifi-vm | --arm64]" >&2; exit 2 ;;
esac

# Shared with other apt users on the machine: wait for their lock instead of failing.
APT=(apt-get -o DPkg::Lock::Timeout=900)

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
if [ "${1:-}" = --arm64 ] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
  dpkg --add-architecture arm64
fi
"${APT[@]}" update -q
"${APT[@]}" install -y -q --no-install-recommends "${missing[@]}"
