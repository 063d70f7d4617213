#!/usr/bin/env bash
# Installs the build into a temporary prefix (with a blank in its name),
# checks the layout, moves the installation elsewhere and runs the installed
# programs there with a bare environment, so that nothing of the build tree
# can be reached through a path or variable.
set -euo pipefail
build=$1
cmake=$2
bindir=$3
libdir=$4
datadir=$5
docdir=$6
. "$(dirname "$0")/pdf_checks.sh"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix="$tmp/pre fix"
fail() { echo "FAIL: $*"; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" > "$tmp/install.log" ||
  { cat "$tmp/install.log"; fail "cmake --install failed"; }

# --- layout
for program in veldan veldan-headsim VELDANpreview; do
  [ -x "$prefix/$bindir/$program" ] || fail "no program $bindir/$program"
done
for library in VELDANplatform VELDANmemblock VELDANstream VELDANsettings VELDANvecmath VELDANimaging \
               VELDANPanoramaProject Pelkor VELDANcontrol DSLRRemoteLib; do
  [ -f "$prefix/$libdir/lib$library.so" ] || fail "no library $libdir/lib$library.so"
done
[ -f "$prefix/$datadir/VELDANmodular/vrhead.asm" ] || fail "no assembly file in $datadir/VELDANmodular"
[ -f "$prefix/include/VELDANcontrol.h" ] || fail "no control library header"
check_pdf "$prefix/$docdir/VELDANpreview.pdf" 8 30000 || exit 1

# The desktop entry opens .vpp files with the installed program, quoted
# because the prefix has a blank.
entry="$prefix/$datadir/applications/VELDANpreview.desktop"
[ -f "$entry" ] || fail "no desktop entry"
grep -qxF '[Desktop Entry]' "$entry" || fail "desktop entry without its group"
grep -qxF "Exec=\"$prefix/$bindir/VELDANpreview\" %f" "$entry" || { cat "$entry"; fail "desktop entry Exec"; }
grep -qxF 'MimeType=application/x-veldan-panorama-project;' "$entry" || fail "desktop entry MimeType"
grep -qxF 'Icon=VELDANpreview' "$entry" || fail "desktop entry Icon"
if command -v desktop-file-validate > /dev/null; then desktop-file-validate "$entry" || fail "desktop-file-validate"; fi

mime="$prefix/$datadir/mime/packages/x-veldan-panorama-project.xml"
[ -f "$mime" ] || fail "no MIME type"
grep -q '<mime-type type="application/x-veldan-panorama-project">' "$mime" || fail "MIME type name"
grep -q '<glob pattern="\*.vpp"/>' "$mime" || fail "MIME glob"
if command -v xmllint > /dev/null; then xmllint --noout "$mime" || fail "MIME XML not well-formed"; fi

# Icons: the SVG and every PNG size, each PNG of the size its folder names.
icons="$prefix/$datadir/icons/hicolor"
grep -q '<svg' "$icons/scalable/apps/VELDANpreview.svg" || fail "no scalable icon"
for size in 16 22 24 32 48 64 128 256; do
  png="$icons/${size}x${size}/apps/VELDANpreview.png"
  [ -f "$png" ] || fail "no icon $png"
  [ "$(od -An -tx1 -N8 "$png" | tr -d ' \n')" = "89504e470d0a1a0a" ] || fail "$png is no PNG"
  read -r w h < <(od -An -tu1 -j16 -N8 "$png" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
  [ "$w" = "$size" ] && [ "$h" = "$size" ] || fail "$png is ${w}x$h"
  [ -f "$icons/${size}x${size}/mimetypes/application-x-veldan-panorama-project.png" ] || fail "no MIME icon $size"
done

# No installed file refers to the build tree through its run path.
for file in "$prefix/$bindir"/* "$prefix/$libdir"/*.so; do
  runpath=$(readelf -d "$file" | grep -E 'RUNPATH|RPATH' || true)
  case "$runpath" in *"$build"*) fail "$file has the build tree in its run path: $runpath";; esac
done

# --- the installation moved elsewhere, run with a bare environment
moved="$tmp/moved away"
mv "$prefix" "$moved"
home="$tmp/home"
mkdir -p "$home"
run() { env -i PATH=/usr/bin:/bin HOME="$home" XDG_CONFIG_HOME="$home/.config" \
          XDG_DOCUMENTS_DIR="$home/Documents" XDG_DATA_HOME="$home/.local/share" "$@"; }
cd "$tmp"

run "$moved/$bindir/veldan" --help > "$tmp/help.txt" || fail "installed veldan --help"
grep -q '^Usage: veldan COMMAND' "$tmp/help.txt" || fail "veldan --help printed no usage"
run "$moved/$bindir/veldan" plan --focal 24 --sensor 36x24 -o "$tmp/p.vpp" > /dev/null || fail "installed veldan plan"
run "$moved/$bindir/veldan" info "$tmp/p.vpp" > /dev/null || fail "installed veldan info"
run "$moved/$bindir/veldan-headsim" --help > /dev/null || fail "installed veldan-headsim --help"

# Every VELDAN library the loader picks for the installed programs lies in
# the moved installation.
for program in veldan veldan-headsim VELDANpreview; do
  ldd "$moved/$bindir/$program" > "$tmp/ldd.txt"
  if grep -q 'not found' "$tmp/ldd.txt"; then cat "$tmp/ldd.txt"; fail "$program: a library is not found"; fi
  if grep -E 'lib(VELDAN|Pelkor)' "$tmp/ldd.txt" | grep -vqF "$moved/$bindir/../$libdir/"; then
    cat "$tmp/ldd.txt"; fail "$program loads a library from outside its installation"
  fi
done

report=$(run "$moved/$bindir/VELDANpreview" --check-libraries) || { echo "$report"; fail "--check-libraries"; }
echo "$report"
grep -qF "libVELDANcontrol.so: $moved/$libdir/libVELDANcontrol.so (interface 1." <<< "$report" ||
  fail "the installed program does not load the installed control library"
grep -qxF "libDSLRRemoteLib.so: $moved/$libdir/libDSLRRemoteLib.so (PingCamera, ReleaseShutter)" <<< "$report" ||
  fail "the installed program does not load the installed camera library"
grep -qxF "assemblies: $moved/$datadir/VELDANmodular (vrhead.asm)" <<< "$report" ||
  fail "the installed program does not read the installed assemblies"
grep -qxF "manual: $moved/$docdir/VELDANpreview.pdf" <<< "$report" || fail "Help does not find the installed manual"

# A control library placed beside the program is preferred over the
# installation's library folder (the program's own folder comes first).
cp "$moved/$libdir/libVELDANcontrol.so" "$moved/$bindir/"
report=$(run "$moved/$bindir/VELDANpreview" --check-libraries) || fail "--check-libraries with a library beside the program"
grep -qF "libVELDANcontrol.so: $moved/$bindir/libVELDANcontrol.so (" <<< "$report" ||
  { echo "$report"; fail "the library beside the program is not the one loaded"; }
rm "$moved/$bindir/libVELDANcontrol.so"

# A missing camera library is reported and fails the check (unless another
# installation in the configured prefix provides one).
rm "$moved/$libdir/libDSLRRemoteLib.so"
if report=$(run "$moved/$bindir/VELDANpreview" --check-libraries); then
  grep -q '^libDSLRRemoteLib.so: MISSING' <<< "$report" && fail "exit status 0 although the library is missing"
  echo "note: another installation provides libDSLRRemoteLib.so: $(grep '^libDSLRRemoteLib' <<< "$report")"
else
  grep -q '^libDSLRRemoteLib.so: MISSING' <<< "$report" || { echo "$report"; fail "missing library not named"; }
fi
echo PASS
