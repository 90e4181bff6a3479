#!/usr/bin/env bash
# Makes the README's pictures: Kestrana on the device simulator, under
# Xvfb (xvfb-run) when there is one, else the offscreen platform, once in
# English and once in Korean. Each run saves its windows with the program's
# own --screenshot DIR (QWidget::grab, no screen grabbing) and exits.
#   tools/screenshots.sh [BUILD] [OUT]   (build, docs/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-docs/screenshots}
devsim="$build/kestrana-devsim"
kestrana="$build/kestrana"
for program in "$devsim" "$kestrana"; do
  if [ ! -x "$program" ]; then
    echo "screenshots: $program is missing; build first (make build)" >&2
    exit 1
  fi
done
kestrana=$(realpath "$kestrana")
out=$(realpath -m "$out")

work=$(mktemp -d -t kestrana-shots.XXXXXX)
sim=""
cleanup() {
  [ -n "$sim" ] && { kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT

# The simulator prints the path of its far end as its first line.
"$devsim" --echo --lines >"$work/devsim.out" &
sim=$!
path=""
for _ in $(seq 1 100); do
  path=$(head -n 1 "$work/devsim.out" 2>/dev/null || true)
  [ -n "$path" ] && break
  sleep 0.05
done
[ -n "$path" ] || { echo "screenshots: the simulator did not report its device" >&2; exit 1; }

run() {
  if command -v xvfb-run >/dev/null; then
    xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
  else
    QT_QPA_PLATFORM=offscreen "$@"
  fi
}

for lang in en ko; do
  rm -rf "${out:?}/$lang"
  mkdir -p "$out/$lang" "$work/$lang"
  # Settings and logs of its own, so the pictures do not depend on this machine's.
  (cd "$work/$lang" &&
    run env LANG=C.UTF-8 "$kestrana" --lang "$lang" --no-splash --registry-dir "$work/$lang/registry" \
      --device "COM1=$path" --connect --screenshot "$out/$lang")
  echo "screenshots: $(ls "$out/$lang" | wc -l) pictures in $out/$lang"
done
du -sh "$out"
