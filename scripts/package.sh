#!/usr/bin/env bash
# Builds the Debian package build/ringcalib_<version>_<arch>.deb: installs what is missing,
# builds what the package ships in the regular build folder (nothing more, and nothing at all
# after scripts/build.sh or scripts/test.sh) and packs it with CPack. Install it with
#   apt install ./build/ringcalib_*.deb     (or dpkg -i, when the OpenCV libraries are there)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
"$root/scripts/install_deps.sh"
"$root/scripts/configure.sh" "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j "$(nproc)" --target shipped
# One package in the folder, so that ringcalib_*.deb names it even after a version change.
rm -f "$build"/ringcalib_*.deb
(cd "$build" && cpack -G DEB)
