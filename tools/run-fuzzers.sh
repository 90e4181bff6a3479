#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a set time each, starting
# from the seed corpus in tests/fuzz/corpus, and prints figure lines:
#   fuzz_targets, fuzz_crashes, fuzz_execs_total
# A crash fails the run; its input is left in BUILD/fuzz-artifacts/TARGET/
# (copy it to tests/fuzz/regressions/TARGET/ once fixed).
# Usage: tools/run-fuzzers.sh BUILD SECONDS
set -uo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
seeds="$source_dir/tests/fuzz/corpus"

targets=0
crashes=0
execs_total=0
for fuzzer in "$build"/fuzz/*; do
  [ -x "$fuzzer" ] && [ -f "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  work="$build/fuzz-corpus/$name"
  artifacts="$build/fuzz-artifacts/$name/"
  mkdir -p "$work" "$artifacts"
  log="$build/fuzz-$name.log"
  echo "== fuzzing $name for ${seconds}s"
  QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
    "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$artifacts" "$work" "$seeds/$name" >"$log" 2>&1
  status=$?
  targets=$((targets + 1))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  execs_total=$((execs_total + ${execs:-0}))
  if [ "$status" -ne 0 ]; then
    crashes=$((crashes + 1))
    echo "fuzz: $name failed (status $status); input kept in $artifacts"
    grep -E 'ERROR|property broken|SUMMARY|Test unit written' "$log" | head -5
  else
    echo "fuzz: $name ran ${execs:-0} inputs clean"
  fi
done
echo "figure fuzz_targets $targets count"
echo "figure fuzz_crashes $crashes count"
echo "figure fuzz_execs_total $execs_total count"
[ "$targets" -gt 0 ] && [ "$crashes" -eq 0 ]
