#!/usr/bin/env bash
# Runs every benchmark of the build and prints their figure lines.
set -euo pipefail
build=${1:-build}
status=0
for bench in "$build"/bench/*; do
  [ -x "$bench" ] && [ -f "$bench" ] || continue
  echo "== $(basename "$bench")"
  QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$bench" || status=$?
done
exit $status
