#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a bounded time each.
# usage: run-fuzzers.sh BUILD_DIR SECONDS
set -euo pipefail
build=${1:?build dir}
seconds=${2:-30}
root="$(cd "$(dirname "$0")/.." && pwd)"
shopt -s nullglob
status=0
for fuzzer in "$build"/bin/fuzz_*; do
  name=$(basename "$fuzzer")
  seeds="$root/fuzz/corpus/${name#fuzz_}"
  work=$(mktemp -d)
  args=("$work")
  [ -d "$seeds" ] && args+=("$seeds")
  echo "--- $name for ${seconds}s"
  if ! "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$build/$name-" "${args[@]}" >"$build/$name.log" 2>&1; then
    echo "FAILED: $name (log: $build/$name.log)"; tail -40 "$build/$name.log"; status=1
  else
    grep -E 'stat::number_of_executed_units' "$build/$name.log" || true
  fi
  rm -rf "$work"
done
exit $status
