#!/usr/bin/env bash
# make run's demo without a display, in a temporary demo home: it must end
# well, leave the virtual head stopped, keep the desktop registration and the
# configuration inside the demo home, and never remove a folder it did not make.
set -euo pipefail
root=$1
build=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# A folder that is not a demo home is refused and left as it is.
mkdir -p "$tmp/precious"
echo keep > "$tmp/precious/file"
if VELDAN_DEMO_HOME="$tmp/precious" "$root/scripts/run.sh" "$build" > "$tmp/refused.log" 2>&1; then
  fail "run.sh accepted a folder it did not make"
fi
[ "$(cat "$tmp/precious/file")" = keep ] || fail "run.sh touched a folder it did not make"

demo="$tmp/demo"
env -u DISPLAY -u WAYLAND_DISPLAY HOME="$tmp/realhome" XDG_DATA_HOME="$tmp/realdata" \
  XDG_CONFIG_HOME="$tmp/realconfig" VELDAN_DEMO_HOME="$demo" \
  "$root/scripts/run.sh" "$build" > "$tmp/run.log" 2>&1 || { cat "$tmp/run.log"; fail "run.sh failed"; }
grep -q '^== What the demo made' "$tmp/run.log" || fail "no summary"
[ -f "$demo/home/Documents/demo.vpp" ] || fail "no planned project"
[ -f "$demo/home/Documents/row.vpp" ] || fail "no imported row"
[ "$(ls "$demo/home/Documents/row" | wc -l)" -eq 6 ] || fail "the row has not six pictures"
grep -qE '^port = [0-9]+$' "$demo/home/Documents/VELDANmodular/settings.cfg" || fail "no port in settings.cfg"
[ ! -e "$tmp/realhome" ] && [ ! -e "$tmp/realdata" ] && [ ! -e "$tmp/realconfig" ] ||
  fail "the demo wrote outside its demo home"
[ ! -e "$demo/home/Documents/VELDANmodular/headsim.sock" ] || fail "the virtual head was not stopped"
# Without a display the planned project is shot headless: every image filed
# into the project folder, then the blended preview and the three exports.
info=$("$build/bin/veldan" info "$demo/home/Documents/demo.vpp")
tiles=$(sed -n 's/^tiles: *\([0-9]*\) .*/\1/p' <<< "$info")
filed=$(sed -n 's/.* \([0-9]*\) with files).*/\1/p' <<< "$info")
[ -n "$tiles" ] && [ "$tiles" -gt 0 ] && [ "$filed" = "$tiles" ] || { echo "$info"; fail "not every image was filed ($filed of $tiles)"; }
[ -z "$(ls "$demo/capture")" ] || fail "pictures were left in the capture folder"
for f in preview.jpg demo.pts demo.pano demo.pto; do [ -s "$demo/$f" ] || fail "no $f"; done

# A second run replaces the demo home it made itself (without the capture,
# which the first run has shown).
VELDAN_DEMO_CAPTURE=0 VELDAN_DEMO_HOME="$demo" env -u DISPLAY -u WAYLAND_DISPLAY "$root/scripts/run.sh" "$build" > "$tmp/run2.log" 2>&1 ||
  { cat "$tmp/run2.log"; fail "second run failed"; }
echo PASS
