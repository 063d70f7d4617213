#!/usr/bin/env bash
# One run of the end-to-end figures: the round trip on the virtual head
# (bench_roundtrip), the capture run (bench_capture), the blended preview
# against nona (bench_preview) and the desktop view's thumbnails
# (bench_preview_view), from one build directory, with one summary that
# names the machine and its load at the start and at the end.
#
#   bench/figures.sh [BUILD_DIR]        (default: build)
#
# Every program's whole output goes to <build>/figures/<program>.log; the
# summary shows the lines with the figures. Exits non-zero when a program is
# missing or fails (the others still run).
set -euo pipefail

build=${1:-build}
root="$(cd "$(dirname "$0")/.." && pwd)"
case "$build" in /*) build_dir=$build ;; *) build_dir="$root/$build" ;; esac
bin="$build_dir/bin"
programs=(bench_roundtrip bench_capture bench_preview bench_preview_view)

[ -d "$bin" ] || { echo "figures.sh: $bin does not exist; build first (cmake --build $build)" >&2; exit 1; }
missing=()
for p in "${programs[@]}"; do [ -x "$bin/$p" ] || missing+=("$p"); done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "figures.sh: missing in $bin: ${missing[*]}" >&2
  echo "            build them first: cmake --build $build --target ${missing[*]}" >&2
  exit 1
fi
command -v nona >/dev/null 2>&1 || echo "figures.sh: nona is not installed (hugin-tools): no nona figures" >&2

logs="$build_dir/figures"
mkdir -p "$logs"

load() { cut -d' ' -f1-3 /proc/loadavg; }
compiler() {
  local cache="$build_dir/CMakeCache.txt" cxx=""
  [ -f "$cache" ] && cxx=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$cache")
  [ -n "$cxx" ] || cxx=c++
  "$cxx" --version 2>/dev/null | head -1 || echo "$cxx (version unknown)"
}
build_type() { sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build_dir/CMakeCache.txt" 2>/dev/null || true; }
os() { if [ -r /etc/os-release ]; then . /etc/os-release && echo "${PRETTY_NAME:-Linux}"; else uname -sr; fi; }

started=$(date -u '+%Y-%m-%d %H:%M UTC')
load_start=$(load)
declare -A status seconds
for p in "${programs[@]}"; do
  echo "== $p" >&2
  t0=$(date +%s.%N)
  rc=0
  "$bin/$p" > "$logs/$p.log" 2>&1 || rc=$?
  t1=$(date +%s.%N)
  status[$p]=$rc
  seconds[$p]=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.0f", b - a }')
  [ "$rc" -eq 0 ] || echo "figures.sh: $p failed (status $rc); see $logs/$p.log" >&2
done
load_end=$(load)

echo "== Figures of $started"
echo "machine   $(nproc) processors, $(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo), $(os), $(uname -m)"
echo "compiler  $(compiler), $(build_type) build in $build_dir"
echo "load      $load_start at the start, $load_end at the end (1, 5, 15 min averages)"
failed=0
for p in "${programs[@]}"; do
  echo
  echo "-- $p (${seconds[$p]} s, status ${status[$p]})"
  # The programs' own chatter (the control library's banner, the virtual
  # head's lines) stays in the log.
  grep -vE '^(VELDANcontrol|Control library|Provided as is|veldan-headsim:)' "$logs/$p.log" | grep -v '^$' || true
  [ "${status[$p]}" -eq 0 ] || failed=1
done
exit "$failed"
