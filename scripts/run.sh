#!/usr/bin/env bash
# The main job as far as the system is built: a demo panorama shot on the
# virtual head. Everything happens in a private demo home (never the user's
# real configuration): a project is planned for the virtual camera's lens,
# the virtual head starts on a pseudo-terminal, the control library drives a
# row of shots through a script while the virtual camera writes its JPEGs, and
# with a display the desktop program opens the planned project.
set -euo pipefail
build=${1:-build}
root="$(cd "$(dirname "$0")/.." && pwd)"
bin="$root/$build/bin"
demo=${VELDAN_DEMO_HOME:-"$root/$build/demo"}

rm -rf "$demo"
export HOME="$demo/home"
export XDG_CONFIG_HOME="$HOME/.config"
export XDG_DOCUMENTS_DIR="$HOME/Documents"
config="$XDG_DOCUMENTS_DIR/VELDANmodular"
capture="$demo/capture"
mkdir -p "$config" "$capture" "$XDG_CONFIG_HOME"
com=1

echo "== Planning a spherical panorama for a 24 mm lens on a full-frame sensor"
"$bin/veldan" plan --focal 24 --sensor 36x24 --orientation portrait --overlap 0.25 \
  --description "Demo panorama" -o "$XDG_DOCUMENTS_DIR/demo.vpp"
"$bin/veldan" info "$XDG_DOCUMENTS_DIR/demo.vpp" | head -20

echo "== Starting the virtual head on COM$com"
printf 'port = %d\n' "$com" > "$config/settings.cfg"
fifo="$demo/headsim.out"
mkfifo "$fifo"
"$bin/veldan-headsim" --com "$com" --capture-dir "$capture" --focal 24 --sensor 36x24 \
  --orientation portrait --resolution 1200x1800 --time-scale 10 > "$fifo" &
head_pid=$!
trap 'kill "$head_pid" 2>/dev/null || true; wait "$head_pid" 2>/dev/null || true' EXIT
read -r ready_line < "$fifo" || true
echo "virtual head: $ready_line"
case "$ready_line" in *ready*) ;; *) echo "the virtual head did not start" >&2; exit 1;; esac

echo "== Shooting one row of six pictures through the control library"
script="$demo/row.txt"
{
  echo "# one row around the horizon"
  for h in 0 60 120 180 240 300; do
    printf 'H %d\nV 0\nWAIT READY\nPRESHOT\nWAIT 200\nSHOOT\nWAIT 300\nRELEASE\nWAIT 200\n' "$h"
  done
  echo "H 0"
  echo "WAIT READY"
} > "$script"
(cd "$demo" && "$bin/veldan-control-example" --script "$script" -v)

echo "== Pictures written by the virtual camera into $capture"
ls -1 "$capture"

if [ -x "$bin/VELDANpreview" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  echo "== Starting the desktop program with the demo project"
  "$bin/VELDANpreview" "$XDG_DOCUMENTS_DIR/demo.vpp"
else
  echo "(no display: the desktop program is not started; the project is $XDG_DOCUMENTS_DIR/demo.vpp)"
fi
