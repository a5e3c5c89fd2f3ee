#!/bin/bash
# Usage: install_test.sh PACKAGE.deb PROMPT_PROBE.so [SHOT.png]
#
# Installs the program's package into a clean root and runs the installed program there, as a
# device engineer would on the device:
#  1. apt resolves what the package needs from Debian's archive for the package's architecture,
#     as if nothing were installed, and downloads it (files already in the host's apt cache are
#     taken from there);
#  2. those packages are unpacked into the root and recorded as installed (their maintainer
#     scripts would need the target's CPU, and none of them matters for starting the program);
#  3. dpkg --root installs the package itself, checking its dependencies against that root;
#  4. the installed program runs chrooted in the root (under qemu's user emulation when the
#     package is for another CPU), offscreen: it shows its prompt in Inter and reads its images
#     (reported by PROMPT_PROBE.so), and ends normally on SIGTERM; without arguments it stops with
#     its diagnostic.
# Nothing outside a scratch directory is written.
set -euo pipefail

[ $# -ge 2 ] || { echo "usage: $0 PACKAGE.deb PROMPT_PROBE.so [SHOT.png]" >&2; exit 2; }
deb=$(realpath "$1")
probe=$(realpath "$2")
shot=${3:+$(realpath "$3")}
arch=$(dpkg-deb -f "$deb" Architecture)
package=$(dpkg-deb -f "$deb" Package)

work=$(mktemp -d /tmp/package-root.XXXXXX)
app_pid=
cleanup() {
  if [ -n "$app_pid" ]; then kill -KILL "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
root=$work/root
fail() { echo "install_test: $*" >&2; exit 1; }

# 1. The dependency closure, from an empty package database.
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/tmp" "$work/cache/archives/partial"
touch "$root/var/lib/dpkg/status"
apt_empty_root=(apt-get -q -o APT::Architecture="$arch" -o APT::Architectures::="$arch"
  -o Dir::State::status="$root/var/lib/dpkg/status" -o Dir::State::extended_states="$work/extended_states"
  -o Dir::Cache="$work/cache" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=
  --no-install-recommends -y install "$deb")
"${apt_empty_root[@]}" --print-uris -qq | while read -r _uri file _rest; do
  if [ -f "/var/cache/apt/archives/$file" ]; then cp "/var/cache/apt/archives/$file" "$work/cache/archives/"; fi
done
# Package lists older than the archive name files it no longer has: refresh them once.
if ! "${apt_empty_root[@]}" --download-only >"$work/apt.log" 2>&1; then
  apt-get -q -o DPkg::Lock::Timeout=900 update >>"$work/apt.log" 2>&1 || true
  "${apt_empty_root[@]}" --download-only >>"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt could not fetch the dependencies"; }
fi
needed=("$work"/cache/archives/*.deb)
echo "install_test: ${#needed[@]} packages from Debian's archive for $arch" >&2

# 2. Unpacked and recorded as installed.
for dep in "${needed[@]}"; do
  dpkg-deb -x "$dep" "$root"
  { dpkg-deb -f "$dep"; echo "Status: install ok installed"; echo; } >>"$root/var/lib/dpkg/status"
done

# 3. The package itself, by dpkg, which refuses it if anything it depends on is missing.
[ "$arch" = "$(dpkg --print-architecture)" ] || dpkg --root="$root" --add-architecture "$arch"
dpkg --root="$root" -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg did not install $package"; }
dpkg --root="$root" -s "$package" | grep -qx "Status: install ok installed" || fail "$package is not installed"
program=/usr/bin/updater
[ -x "$root$program" ] || fail "$program is not installed"

# 4. The installed program, in the root.
run=("$(command -v chroot)" "$root")
case "$arch" in
  "$(dpkg --print-architecture)") ;;
  arm64) cp /usr/bin/qemu-aarch64-static "$root/usr/bin/"; run+=(/usr/bin/qemu-aarch64-static) ;;
  *) fail "no emulator known for $arch" ;;
esac
cp "$probe" "$root/tmp/prompt_probe.so"
env_offscreen=(env -i PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent)

"${env_offscreen[@]}" LD_PRELOAD=/tmp/prompt_probe.so ${shot:+PROMPT_PROBE_SHOT=/tmp/shot.png} \
  "${run[@]}" "$program" /usr/bin/true manifest.json >"$work/prompt.out" 2>"$work/prompt.err" &
app_pid=$!
for _ in $(seq 1200); do
  grep -qx 'probe: done' "$work/prompt.out" && break
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.1
done
kill -TERM "$app_pid" 2>/dev/null || true
rc=0
wait "$app_pid" || rc=$?
app_pid=
cat "$work/prompt.out"
for expected in "Update Required" "Connect to Wi-Fi" "Install"; do
  grep -q "^shown: $expected \[Inter\]$" "$work/prompt.out" || { cat "$work/prompt.err" >&2; fail "the prompt does not show \"$expected\" in Inter"; }
done
grep -q '^image: .*\.svg [1-9]' "$work/prompt.out" || fail "no image of the program could be read"
! grep '^image: .* 0x0$' "$work/prompt.out" || fail "images that cannot be read"
[ "$rc" -eq 0 ] || { cat "$work/prompt.err" >&2; fail "the program did not end normally on SIGTERM (status $rc)"; }
[ -z "$shot" ] || cp "$root/tmp/shot.png" "$shot"

rc=0
# (The outer redirection keeps bash's own "Aborted" notice out of the output.)
{ "${env_offscreen[@]}" "${run[@]}" "$program" >/dev/null 2>"$work/no-args.err"; } 2>/dev/null || rc=$?
[ "$rc" -eq 134 ] || { cat "$work/no-args.err" >&2; fail "without arguments the status was $rc, not 134 (SIGABRT)"; }
grep -q "Assertion \`updater.size()' failed" "$work/no-args.err" || { cat "$work/no-args.err" >&2; fail "without arguments no diagnostic"; }
echo "install_test: $package ($arch) installed into a clean root; it shows its prompt and images and refuses to start without arguments" >&2
