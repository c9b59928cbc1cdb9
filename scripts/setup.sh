#!/usr/bin/env bash
# Installs the Debian packages MMEdit needs to build, run and test.
set -euo pipefail
# binutils gives readelf (scripts/check-layers.sh), clang-format checks the
# formatting (scripts/check-format.sh), git lists the files to check.
packages=(cmake g++ make pkg-config binutils git clang-format qt6-base-dev libgl-dev
          fonts-ipafont-gothic fonts-dejavu-core libgtest-dev libgmock-dev libbenchmark-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
