#!/bin/bash
# Builds the program's Debian packages for the device (arm64) and for amd64 into out/packages/,
# with their run-time dependencies computed by dpkg-shlibdeps, checks both with lintian (any error
# or warning fails), then installs the arm64 one into a clean root and checks that the installed
# program starts there under emulation (tests/package/install_test.sh; a picture of its prompt is
# left in out/packages/).
set -euo pipefail
cd "$(dirname "$0")/.."

out=$PWD/out/packages
rm -rf "$out"
for kind in "" --arm64; do
  (
    source scripts/build.sh ${kind:+"$kind"}
    cd "$build"
    cpack -G DEB -B "$out/cpack" </dev/null
    mv "$out"/cpack/*.deb "$out/"
  )
done
rm -rf "$out/cpack"
ls -l "$out"/*.deb

# Debian's own checks: any error or warning fails the build.
lintian --fail-on error,warning "$out"/*.deb
echo "package: lintian found no error or warning"

bash tests/package/install_test.sh "$out"/*_arm64.deb build-arm64/tests/package/libprompt_probe.so \
  "$out/installed-arm64-prompt.png"
