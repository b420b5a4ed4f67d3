#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs, only those that are missing.
# Idempotent and non-interactive; runs apt-get update at most once.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libopencv-dev libtclap-dev nlohmann-json3-dev
  libgtest-dev libbenchmark-dev libjpeg-dev
  libceres-dev libkainjow-mustache-dev
  clang libclang-rt-14-dev
  time
  dpkg-dev file man-db
  hugin-tools  # the export's tests only (pano_trafo, nona); the package does not depend on it
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
echo "Installing missing packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
