#!/usr/bin/env bash
# CI: builds the Debian package and checks it on this machine: Depends names the OpenCV
# runtime libraries (never a -dev package), the package holds only the shipped files, and
# once installed, ringcalib runs from the PATH and man finds its page. The package is removed
# again at the end, also when a check fails.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
"$root/scripts/package.sh"
deb="$(ls "$build"/ringcalib_*.deb)"
fail() { echo "FAIL: $*"; exit 1; }

dpkg-deb --info "$deb"
depends="$(dpkg-deb --field "$deb" Depends)"
for module in core imgproc calib3d videoio imgcodecs video; do
  grep -Eq "(^|, )libopencv-$module[0-9]" <<<"$depends" || fail "Depends lacks libopencv-$module"
done
! grep -q -- "-dev" <<<"$depends" || fail "Depends names a -dev package"
! grep -q "hugin" <<<"$depends" || fail "Depends names hugin (only the export's tests use it)"

files="$(dpkg-deb --contents "$deb" | awk '$6 !~ /\/$/ { print $6 }')"
shipped='^\./usr/(bin/ringcalib(-synth|-compare|-export)?|share/man/man1/ringcalib(-synth|-compare|-export)?\.1\.gz|share/doc/ringcalib/README\.md)$'
! grep -Ev "$shipped" <<<"$files" || fail "files beyond the shipped ones"
[ "$(wc -l <<<"$files")" -eq 9 ] || fail "not all shipped files are in the package"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
$SUDO dpkg -i "$deb"
trap '$SUDO dpkg -r ringcalib >/dev/null' EXIT
[ "$(command -v ringcalib)" = /usr/bin/ringcalib ] || fail "ringcalib is not /usr/bin/ringcalib"
version="$(dpkg-deb --field "$deb" Version)"
[[ "$(ringcalib --version)" == *" version: $version"* ]] || fail "ringcalib --version is not $version"
man -w ringcalib || fail "man does not find ringcalib(1)"
trap - EXIT
$SUDO dpkg -r ringcalib
[ ! -e /usr/bin/ringcalib ] || fail "dpkg -r left /usr/bin/ringcalib"
echo "OK: $(basename "$deb") installs, runs and is removed again"
