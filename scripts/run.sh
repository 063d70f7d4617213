#!/usr/bin/env bash
# The main job. Until the desktop program and the virtual head exist this
# starts whatever part of the system is built: it prints what is there and
# runs the command-line tool's help when it exists.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
if [ -x "$build/bin/veldan" ]; then
  exec "$build/bin/veldan" --help
fi
echo "Built so far:"
ls -1 "$build/lib" "$build/bin" 2>/dev/null || true
