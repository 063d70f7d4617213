#!/usr/bin/env bash
# The capture screenshots of `make screenshots`: the program shoots a real
# capture on the virtual head and writes one PNG per state, each a complete
# 1280 x 800 picture small enough for the manual, and no two alike.
#   check_capture_screenshots.sh PROGRAM
set -euo pipefail
program=$1
fail() { echo "FAIL: $*"; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# A run that stalls is stopped well before the test's own time-out, after
# the stacks of the program and of the virtual head are written to the
# output and kept in capture_screenshots-stall.txt in the working folder.
# A stalled run is tried once more: the pictures are what this check is for,
# and the capture in the main window is checked by the window tests; a
# second stall fails.
limit=${CAPTURE_SCREENSHOTS_LIMIT:-400}
stall_log="$PWD/capture_screenshots-stall.txt"

# Runs the program once: 0 when it ended well, 1 when it failed, 2 when it
# stalled and was stopped.
shoot() {
  "$program" "$out" &
  local pid=$! timer finished="" status=0
  sleep "$limit" &
  timer=$!
  wait -n -p finished "$pid" "$timer" || status=$?
  if [ "$finished" = "$pid" ]; then
    kill "$timer" 2> /dev/null || true
    [ "$status" -eq 0 ] || { echo "FAIL: $program ended with status $status"; return 1; }
    return 0
  fi
  local children
  children=$(pgrep -P "$pid" || true)
  {
    echo "$(date -u +%FT%TZ): $program still runs after $limit s"
    if command -v gdb > /dev/null; then
      for p in "$pid" $children; do
        echo "--- stacks of $(tr '\0' ' ' < "/proc/$p/cmdline" 2> /dev/null)"
        gdb -p "$p" -batch -nx -ex "thread apply all bt" 2>&1 | grep -E '^(Thread|#)' || true
      done
    fi
  } | tee -a "$stall_log"
  kill $children "$pid" 2> /dev/null || true
  wait "$pid" 2> /dev/null || true
  return 2
}

result=0
shoot || result=$?
if [ "$result" -eq 2 ]; then
  echo "the run stalled (stacks above and in $stall_log); trying once more"
  rm -f "$out"/*.png
  result=0
  shoot || result=$?
fi
[ "$result" -eq 0 ] || fail "no complete run"
states=(on running paused done blended)
for state in "${states[@]}"; do
  png="$out/capture-$state.png"
  [ -f "$png" ] || fail "no $png"
  [ "$(od -An -tx1 -N8 "$png" | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$png is no PNG"
  # IHDR: width and height, big-endian, at bytes 16 and 20.
  size=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8}')
  [ "$size" = 1280x800 ] || fail "$png is $size, not 1280x800"
  tail -c 12 "$png" | grep -aq IEND || fail "$png is cut short"
  bytes=$(wc -c < "$png")
  [ "$bytes" -lt 409600 ] || fail "$png has $bytes bytes (want < 400 KB)"
  echo "ok: $png ($bytes bytes)"
done
for ((i = 0; i < ${#states[@]}; ++i)); do
  for ((j = i + 1; j < ${#states[@]}; ++j)); do
    ! cmp -s "$out/capture-${states[i]}.png" "$out/capture-${states[j]}.png" ||
      fail "capture-${states[i]}.png and capture-${states[j]}.png are the same picture"
  done
done
echo PASS
