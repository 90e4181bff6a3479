#!/usr/bin/env bash
# Installs the Debian packages Kestrana builds and runs with; does nothing when
# they are all present. Needs root or sudo for the install.
#   tools/setup.sh [PACKAGE]...   also the packages named (e.g. what make
#                                 package and make package-test need)
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  qt6-base-dev qt6-serialport-dev libgl-dev
  libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  fonts-noto-cjk
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
