#!/usr/bin/env bash
# The bridge's service template, run as systemd would run it: its ExecStart
# line unescaped ($$, %%, %I), with the instance naming a simulated device
# and a port, the state and log folders systemd would make, and the build's
# programs first on the PATH. A client's line comes back echoed, SIGTERM
# ends it with status 0 and its event log whole. systemd-analyze checks the
# file where it is installed.
#   bridge_unit_test.sh SOURCE BUILD
set -euo pipefail
unit="$1/packaging/systemd/kestrana-bridge@.service"
build=$(cd "$2" && pwd)
fail() { echo "bridge_unit: $*" >&2; exit 1; }

if command -v systemd-analyze >/dev/null; then
  systemd-analyze verify --man=no "$unit" || fail "systemd-analyze rejects the unit"
fi

work=$(mktemp -d -t kestrana-unit.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

"$build/kestrana-devsim" --echo --time 60 >"$work/devsim.out" &
disown
pids+=($!)
for _ in $(seq 100); do [ -s "$work/devsim.out" ] && break; sleep 0.05; done
device=$(head -n 1 "$work/devsim.out")
[[ $device == /dev/* ]] || fail "the simulator gave no device: '$device'"
port=$((20000 + RANDOM % 20000))
instance="${device#/dev/}:$port"

# systemd's own unescaping of the command line.
command=$(sed -n 's/^ExecStart=//p' "$unit")
command=${command//'$$'/'$'}
command=${command//'%%'/'%'}
command=${command//'%I'/$instance}
[[ $command == "/bin/sh -c '"*"' $instance" ]] || fail "unexpected ExecStart: $command"
script=${command#"/bin/sh -c '"}
script=${script%"' $instance"}
mkdir -p "$work/state" "$work/logs" "$work/cache"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM PATH="$build:$PATH" \
  STATE_DIRECTORY="$work/state" LOGS_DIRECTORY="$work/logs" XDG_CACHE_HOME="$work/cache" \
  KESTRANA_BRIDGE_BIND=127.0.0.1 sh -c "$script" "$instance" 2>"$work/err" &
bridge=$!
pids+=("$bridge")

# The client says its line, finishes sending and waits for the echo.
echoed=""
for _ in $(seq 50); do
  echoed=$(printf 'ping\r' | timeout 5 socat -t1 - "TCP:127.0.0.1:$port" 2>/dev/null || true)
  [[ $echoed == *ping* ]] && break
  sleep 0.2
done
[[ $echoed == *ping* ]] || fail "no echo through $instance: '$echoed'; stderr: $(cat "$work/err")"

kill -TERM "$bridge"
status=0
wait "$bridge" || status=$?
[ "$status" -eq 0 ] || fail "ended with status $status on SIGTERM; stderr: $(cat "$work/err")"
log=$(cat "$work/logs"/event*.log)
[[ $log == *"TCP client 127.0.0.1:"* && $log == *"Logging End!"* ]] || fail "event log: $log"
[ -s "$work/state/HKEY_CURRENT_USER.reg" ] || fail "no settings in the state folder"
echo "bridge_unit: $instance bridged, ended cleanly"
