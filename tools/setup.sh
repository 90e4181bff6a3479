#!/usr/bin/env bash
# Installs the Debian packages Kestrana builds and runs with; does nothing when
# they are all present. Also makes the two Korean locales the tests use.
# Needs root or sudo for the install.
#   tools/setup.sh [PACKAGE]...   also the packages named (e.g. what make
#                                 package and make package-test need)
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  qt6-base-dev qt6-serialport-dev libgl-dev
  libgtest-dev libgmock-dev
  libzstd-dev
  clang libclang-rt-14-dev
  fonts-noto-cjk
  qt6-l10n-tools
  xvfb xauth
  locales
  socat
  python3-serial
  "$@"
)

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

# Korean locales for the character-set tests (where one is missing, those
# tests name the character set with --charset instead).
korean_locales() {
  command -v localedef >/dev/null || return 0
  local have
  have=$(locale -a 2>/dev/null | tr 'A-Z' 'a-z')
  grep -qx 'ko_kr.utf8' <<<"$have" || $sudo localedef -i ko_KR -f UTF-8 ko_KR.UTF-8 || true
  grep -qx 'ko_kr.euckr' <<<"$have" || $sudo localedef -i ko_KR -f EUC-KR ko_KR.EUC-KR || true
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
korean_locales
