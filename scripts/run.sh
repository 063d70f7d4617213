#!/usr/bin/env bash
# The main job as far as the system is built: a demo panorama shot on the
# virtual head. Everything happens in a private demo home (never the user's
# real configuration, documents, desktop registration or caches):
#   1. a project is planned for the virtual camera's lens,
#   2. the virtual head starts on a free COM<N> with a settings.cfg made for it,
#   3. the control library shoots one row around the horizon from a shooting
#      script, and that row is imported as a project with its pictures,
#   4. with a display the desktop program opens the planned project, ready to
#      be shot from its head pane; the virtual head is stopped when the
#      program ends (or the script ends, however),
#   5. without a display the planned project is captured headless on the
#      virtual head with `veldan capture`, its blended preview and the PTGui,
#      Autopano and Hugin projects are written, and the script prints where
#      everything is.
set -euo pipefail
# VELDAN_DEMO_HOME: where the demo home is made (default <build>/demo);
# VELDAN_DEMO_CAPTURE=0: without a display, skip the headless capture.
build=${1:-build}
root="$(cd "$(dirname "$0")/.." && pwd)"
case "$build" in /*) build_dir=$build ;; *) build_dir="$root/$build" ;; esac
bin="$build_dir/bin"
demo=${VELDAN_DEMO_HOME:-"$build_dir/demo"}
marker=".veldan-demo-home"

for program in veldan veldan-headsim veldan-control-example; do
  [ -x "$bin/$program" ] || { echo "run.sh: $bin/$program is missing; build first (make build)" >&2; exit 1; }
done

# The demo home is removed and made anew on every run. A folder given through
# VELDAN_DEMO_HOME is only ever removed when an earlier run made it (it holds
# the marker), so a mistyped path cannot delete anybody's files.
if [ -e "$demo" ]; then
  if [ -f "$demo/$marker" ]; then
    rm -rf "$demo"
  elif [ -d "$demo" ] && [ -z "$(ls -A "$demo")" ]; then
    rmdir "$demo"
  else
    echo "run.sh: $demo exists and is not a demo home made by this script; not touching it" >&2
    echo "        (remove it yourself or set VELDAN_DEMO_HOME to another folder)" >&2
    exit 1
  fi
fi
mkdir -p "$demo"
touch "$demo/$marker"
demo="$(cd "$demo" && pwd)"

# A private home. The X display keeps working: its authority file is looked
# up in the real home unless XAUTHORITY already names it.
real_home=${HOME:-}
if [ -z "${XAUTHORITY:-}" ] && [ -n "$real_home" ] && [ -f "$real_home/.Xauthority" ]; then
  export XAUTHORITY="$real_home/.Xauthority"
fi
export HOME="$demo/home"
export XDG_CONFIG_HOME="$HOME/.config"
export XDG_DATA_HOME="$HOME/.local/share"
export XDG_CACHE_HOME="$HOME/.cache"
export XDG_STATE_HOME="$HOME/.local/state"
export XDG_DOCUMENTS_DIR="$HOME/Documents"
config="$XDG_DOCUMENTS_DIR/VELDANmodular"
capture="$demo/capture"
export VELDAN_HEADSIM_SOCKET="$config/headsim.sock"
mkdir -p "$config/ports" "$capture" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"

# The virtual camera; the project is planned for the very same lens.
focal=24
sensor=36x24
orientation=portrait
resolution=1800x1200

# A COM number that nothing else answers to: no link in the demo's port
# folder and no serial device of the fixed mapping (COM1-32 ttyS, 33-64
# ttyUSB, 65-80 ttyACM, 81-99 rfcomm; above 99 there is none), so the demo
# can never talk to a real device if the virtual head fails to come up.
com_device() {
  local n=$1
  if [ "$n" -le 32 ]; then echo "/dev/ttyS$((n - 1))"
  elif [ "$n" -le 64 ]; then echo "/dev/ttyUSB$((n - 33))"
  elif [ "$n" -le 80 ]; then echo "/dev/ttyACM$((n - 65))"
  elif [ "$n" -le 99 ]; then echo "/dev/rfcomm$((n - 81))"
  else echo ""; fi
}
com=""
for n in $(seq 1 255); do
  device=$(com_device "$n")
  if [ ! -e "$config/ports/COM$n" ] && { [ -z "$device" ] || [ ! -e "$device" ]; }; then com=$n; break; fi
done
[ -n "$com" ] || { echo "run.sh: no free COM number" >&2; exit 1; }

echo "== Demo home: $demo"

echo "== Planning a spherical panorama for the virtual camera (${focal} mm, ${sensor} mm sensor, $orientation)"
project="$XDG_DOCUMENTS_DIR/demo.vpp"
"$bin/veldan" plan --focal "$focal" --sensor "$sensor" --orientation "$orientation" --overlap 0.25 \
  --description "Demo panorama" -o "$project"
"$bin/veldan" info "$project" | head -20

echo "== Device configuration for the virtual head on COM$com"
cat > "$config/settings.cfg" <<EOF
# Made by make run for the virtual head (veldan-headsim --com $com)
port = $com
edition = "vrhead"
verbose = 1
preshot_time = 0.1
exposure_time = 0.05
recover_time = 0.2
EOF
# The desktop program watches the virtual camera's folder during a capture
# (profile value Settings/CAPTURE_DIRECTORY, as the settings dialog stores it).
mkdir -p "$XDG_CONFIG_HOME/VELDANpreview"
printf '[Settings]\nCAPTURE_DIRECTORY=%s\n' "${capture//\\/\\\\}" > "$XDG_CONFIG_HOME/VELDANpreview/VELDANpreview.conf"

echo "== Starting the virtual head on COM$com"
fifo="$demo/headsim.out"
mkfifo "$fifo"
"$bin/veldan-headsim" --com "$com" --capture-dir "$capture" --focal "$focal" --sensor "$sensor" \
  --orientation "$orientation" --resolution "$resolution" --time-scale 10 > "$fifo" 2> "$demo/headsim.log" &
head_pid=$!
drain_pid=""
stop_head() {
  if kill -0 "$head_pid" 2>/dev/null; then
    kill "$head_pid" 2>/dev/null || true
    wait "$head_pid" 2>/dev/null || true
  fi
  [ -z "$drain_pid" ] || wait "$drain_pid" 2>/dev/null || true
}
trap stop_head EXIT
trap 'exit 130' INT TERM
# The pipe stays open for reading for the simulator's whole life (a writer
# without a reader would be killed by SIGPIPE). Its first line says the line
# is up; without one in 30 s something is wrong.
exec 3< "$fifo"
ready_line=""
read -r -t 30 -u 3 ready_line || true
# Keep draining the simulator's output so that it never blocks on the pipe.
cat <&3 >> "$demo/headsim.log" &
drain_pid=$!
exec 3<&-
case "$ready_line" in
  *ready*) echo "virtual head: $ready_line (linked as $config/ports/COM$com)" ;;
  *) echo "run.sh: the virtual head did not start; see $demo/headsim.log" >&2; cat "$demo/headsim.log" >&2; exit 1 ;;
esac

echo "== One test exposure, then one row of six pictures through the control library"
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

# The example takes one exposure where the head stands before it runs the
# script; that first picture is the test shot and belongs to no tile. The
# row's pictures go to a folder of their own, so that the capture folder is
# empty again for a capture run that watches it.
row_pictures="$XDG_DOCUMENTS_DIR/row"
mkdir -p "$row_pictures"
shopt -s nullglob
row_files=("$capture"/IMG_*.JPG)
shopt -u nullglob
if [ "${#row_files[@]}" -gt 0 ]; then
  mv "${row_files[0]}" "$demo/test-shot.jpg"
  [ "${#row_files[@]}" -gt 1 ] && mv "${row_files[@]:1}" "$row_pictures/"
fi
echo "== Pictures of the row, in $row_pictures"
ls -1 "$row_pictures"

echo "== Importing the row with its pictures as a project"
row_project="$XDG_DOCUMENTS_DIR/row.vpp"
shopt -s nullglob
row_images=("$row_pictures"/IMG_*.JPG)
shopt -u nullglob
if [ "${#row_images[@]}" -gt 0 ]; then
  "$bin/veldan" import "$script" --images "${row_images[@]}" --focal "$focal" --sensor "$sensor" \
    --orientation "$orientation" --description "Demo row" -o "$row_project"
  "$bin/veldan" info "$row_project" | head -8
else
  echo "(the virtual camera wrote no pictures; nothing to import)"
  row_project=""
fi

# Commands of the command-line tool that this build offers, from its help text.
veldan_has() { "$bin/veldan" help 2>/dev/null | grep -qE "^  $1( |\$)"; }
done_lines=()
open_project=${row_project:-$project}

# With a display the desktop program opens the planned project, ready for
# On/Off and Start in its head pane. Without one the same capture runs
# headless with `veldan capture` (same capture run and capture-folder
# monitor), then the blended preview and the three stitcher projects are
# written.
has_display=""
if [ -x "$bin/VELDANpreview" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  has_display=1
  open_project=$project
fi

if [ -z "$has_display" ] && [ "${VELDAN_DEMO_CAPTURE:-1}" != 0 ] && veldan_has capture; then
  echo "== Capturing the planned project on COM$com (veldan capture)"
  if "$bin/veldan" capture "$project" --com "$com" --capture-dir "$capture"; then
    done_lines+=("captured $project on the virtual head (pictures in $(dirname "$project"))")
    open_project=$project
  else
    echo "run.sh: veldan capture failed (status $?); going on with the imported row" >&2
  fi
fi

if [ -z "$has_display" ] && veldan_has preview; then
  echo "== Rendering the blended preview of $open_project (veldan preview)"
  if "$bin/veldan" preview "$open_project" -o "$demo/preview.jpg" --size 2000x1000 --mode blended; then
    done_lines+=("blended preview      $demo/preview.jpg")
  else
    echo "run.sh: veldan preview failed" >&2
  fi
fi

if [ -z "$has_display" ] && veldan_has export; then
  echo "== Exporting $open_project for PTGui, Autopano and Hugin (veldan export)"
  for pair in ptgui:demo.pts autopano:demo.pano hugin:demo.pto; do
    out="$demo/${pair#*:}"
    if "$bin/veldan" export "$open_project" --format "${pair%%:*}" -o "$out"; then
      done_lines+=("stitcher project     $out")
    else
      echo "run.sh: veldan export --format ${pair%%:*} failed" >&2
    fi
  done
fi
# ---------------------------------------------------------------------------

summary() {
  echo
  echo "== What the demo made (all under $demo)"
  echo "  planned project      $project"
  [ -n "$row_project" ] && echo "  imported row         $row_project (pictures in $row_pictures)"
  echo "  device configuration $config/settings.cfg (port = $com)"
  echo "  virtual head log     $demo/headsim.log"
  echo "  capture folder       $capture"
  [ -f "$demo/test-shot.jpg" ] && echo "  test exposure        $demo/test-shot.jpg"
  local line
  for line in "${done_lines[@]+"${done_lines[@]}"}"; do echo "  $line"; done
}

if [ -n "$has_display" ]; then
  summary
  echo
  echo "== Starting the desktop program with $open_project"
  echo "   The head pane is set up for the virtual head: press On/Off to switch it on,"
  echo "   then Start to shoot the panorama; the pictures fill the preview as they arrive."
  echo "   The virtual head stops when you close the program."
  "$bin/VELDANpreview" "$open_project" || echo "run.sh: VELDANpreview ended with status $?" >&2
else
  summary
  echo
  if [ -x "$bin/VELDANpreview" ]; then
    echo "(no display: the desktop program is not started. With a display, open the project with"
    echo "   HOME=$HOME XDG_DOCUMENTS_DIR=$XDG_DOCUMENTS_DIR XDG_CONFIG_HOME=$XDG_CONFIG_HOME \\"
    echo "   XDG_DATA_HOME=$XDG_DATA_HOME $bin/VELDANpreview $open_project )"
  else
    echo "(the desktop program is not built; the project is $open_project)"
  fi
fi
