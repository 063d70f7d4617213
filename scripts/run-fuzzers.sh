#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a bounded time each, as
# many at once as there are processors.
# usage: run-fuzzers.sh BUILD_DIR SECONDS
set -euo pipefail
build=${1:?build dir}
seconds=${2:-30}
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs=$(nproc 2>/dev/null || echo 1)
shopt -s nullglob

# One fuzzer; its outcome goes to BUILD/<name>.result ("ok" or "failed").
run_one() {
  local fuzzer=$1 name seeds work
  name=$(basename "$fuzzer")
  seeds="$root/fuzz/corpus/${name#fuzz_}"
  work=$(mktemp -d)
  local args=("$work")
  [ -d "$seeds" ] && args+=("$seeds")
  if "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
       -print_final_stats=1 -artifact_prefix="$build/$name-" "${args[@]}" >"$build/$name.log" 2>&1; then
    echo ok >"$build/$name.result"
  else
    echo failed >"$build/$name.result"
  fi
  rm -rf "$work"
}

fuzzers=("$build"/bin/fuzz_*)
echo "--- ${#fuzzers[@]} fuzzers for ${seconds}s each, $jobs at a time"
running=0
for fuzzer in "${fuzzers[@]}"; do
  rm -f "$build/$(basename "$fuzzer").result"
  run_one "$fuzzer" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then wait -n || true; running=$((running - 1)); fi
done
wait

status=0
for fuzzer in "${fuzzers[@]}"; do
  name=$(basename "$fuzzer")
  if [ "$(cat "$build/$name.result" 2>/dev/null)" = ok ]; then
    echo "$name: $(grep -E 'stat::number_of_executed_units' "$build/$name.log" || echo 'no stats')"
  else
    echo "FAILED: $name (log: $build/$name.log)"; tail -40 "$build/$name.log"; status=1
  fi
done
exit $status
