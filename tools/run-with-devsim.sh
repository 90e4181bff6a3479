#!/usr/bin/env bash
# Starts the device simulator (echo plus numbered lines) and Kestrana with COM1
# mapped to it for this run, connected. Stops the simulator when Kestrana ends.
set -euo pipefail
build=${1:-build}
devsim="$build/kestrana-devsim"
kestrana="$build/kestrana"

for program in "$devsim" "$kestrana"; do
  if [ ! -x "$program" ]; then
    echo "run-with-devsim: $program is missing; build first (make build)" >&2
    exit 1
  fi
done

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  # No window can be shown here: run without one, so the connection, the
  # logs and the shutdown still happen, and say how to see the window.
  echo "run-with-devsim: no display found (\$DISPLAY and \$WAYLAND_DISPLAY are unset)." >&2
  echo "  Running without a window; the event and receive logs are written in $(pwd)." >&2
  echo "  Stop it with Ctrl+C. To see the window, run 'make run' in a desktop session." >&2
  export QT_QPA_PLATFORM=offscreen
fi

# The simulator prints the path of its far end as its first line.
out=$(mktemp -t kestrana-devsim.XXXXXX)
"$devsim" --echo --lines >"$out" &
sim=$!
cleanup() {
  kill "$sim" 2>/dev/null || true
  wait "$sim" 2>/dev/null || true
  rm -f "$out"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

path=""
for _ in $(seq 1 100); do
  path=$(head -n 1 "$out" 2>/dev/null || true)
  [ -n "$path" ] && break
  if ! kill -0 "$sim" 2>/dev/null; then
    echo "run-with-devsim: the simulator ended before it was ready" >&2
    exit 1
  fi
  sleep 0.05
done
if [ -z "$path" ]; then
  echo "run-with-devsim: the simulator did not report its device" >&2
  exit 1
fi

echo "run-with-devsim: simulated device on $path (COM1)"
status=0
"$kestrana" --device "COM1=$path" --connect || status=$?
exit $status
