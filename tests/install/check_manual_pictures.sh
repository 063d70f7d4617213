#!/usr/bin/env bash
# The manual's pictures in its PDF: every picture docs/manual.md shows is
# embedded in the rendered PDF; the renderer finds pictures relative to the
# manual's own folder (not the working folder), and a manual naming a
# picture that is missing is refused without touching the previous PDF.
#   check_manual_pictures.sh RENDERER MANUAL.md RENDERED.pdf
set -euo pipefail
renderer=$(realpath "$1") manual=$(realpath "$2") rendered=$(realpath "$3")
fail() { echo "FAIL: $*"; exit 1; }
# Image objects of a PDF.
images() { grep -a -c '/Subtype /Image' "$1" || true; }

wanted=$(grep -o '!\[[^]]*\]([^)]*)' "$manual" | wc -l)
[ "$wanted" -gt 0 ] || fail "$manual shows no pictures"
got=$(images "$rendered")
[ "$got" -eq "$wanted" ] || fail "$rendered embeds $got pictures, $manual shows $wanted"
echo "ok: $rendered embeds all $wanted pictures"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/doc/images" "$work/elsewhere"
first=$(grep -o '!\[[^]]*\]([^)]*)' "$manual" | head -1 | sed 's/.*(\(.*\))/\1/')
cp "$(dirname "$manual")/$first" "$work/doc/images/shot.png"
printf '# Pictures\n\nText before.\n\n![A shot](images/shot.png)\n\nText after.\n' > "$work/doc/manual.md"
(cd "$work/elsewhere" && QT_QPA_PLATFORM=offscreen "$renderer" ../doc/manual.md "$work/out.pdf") ||
  fail "the renderer refused a manual whose picture is beside it"
[ "$(images "$work/out.pdf")" -eq 1 ] || fail "the picture beside the manual is not in its PDF"
echo "ok: a picture relative to the manual's folder is embedded"

cp "$work/out.pdf" "$work/before.pdf"
printf '# Pictures\n\n![Gone](images/missing.png)\n' > "$work/doc/broken.md"
if QT_QPA_PLATFORM=offscreen "$renderer" "$work/doc/broken.md" "$work/out.pdf" 2> "$work/err"; then
  fail "a manual with a missing picture was rendered"
fi
grep -q 'missing.png' "$work/err" || fail "the error does not name the missing picture: $(cat "$work/err")"
cmp -s "$work/out.pdf" "$work/before.pdf" || fail "the previous PDF was changed by the failed run"
echo "ok: a missing picture is refused and named; the previous PDF stays"
echo PASS
