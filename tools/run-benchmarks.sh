#!/usr/bin/env bash
# Runs every benchmark of the build and prints their figure lines.
set -euo pipefail
build=${1:-build}

# The bridge benchmark measures socat on the same pty traffic as a yardstick;
# without it those figures are skipped.
if ! command -v socat >/dev/null 2>&1; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing socat for the bridge benchmark"
  if ! { DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends socat ||
         { $sudo apt-get update -qq &&
           DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends socat; }; }; then
    echo "run-benchmarks: socat could not be installed; its figures will be skipped" >&2
  fi
fi

status=0
for bench in "$build"/bench/*; do
  [ -x "$bench" ] && [ -f "$bench" ] || continue
  echo "== $(basename "$bench")"
  QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$bench" || status=$?
done
exit $status
