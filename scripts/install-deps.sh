#!/usr/bin/env bash
# Installs every Debian package that building, testing, benchmarking and the
# demo need. Does nothing when all of them are present; runs apt-get update
# only when something is missing; uses sudo only when not running as root.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config git ccache
  # the tree's format (scripts/check-format.sh pins this version)
  clang-format-14
  # libraries
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev
  libxml2-dev libxml2-utils
  libjpeg62-turbo-dev libturbojpeg0-dev libpng-dev libtiff-dev libraw-dev
  # tests, benchmarks, fuzzing
  libgtest-dev libgmock-dev libbenchmark-dev gdb
  clang-14 libclang-rt-14-dev
  # peers and demo
  hugin-tools libvips-tools xvfb xauth marble-data
  fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
