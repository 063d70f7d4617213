# Shared by the install checks: fails unless $1 is a complete PDF with at
# least $2 pages and at least $3 bytes.
check_pdf() {
  local pdf=$1 min_pages=$2 min_bytes=$3
  [ -f "$pdf" ] || { echo "FAIL: no PDF at $pdf"; return 1; }
  [ "$(head -c 5 "$pdf")" = "%PDF-" ] || { echo "FAIL: $pdf does not start with %PDF-"; return 1; }
  tail -c 64 "$pdf" | grep -aq '%%EOF' || { echo "FAIL: $pdf is cut short (no %%EOF)"; return 1; }
  local bytes pages
  bytes=$(wc -c < "$pdf")
  [ "$bytes" -ge "$min_bytes" ] || { echo "FAIL: $pdf has only $bytes bytes"; return 1; }
  # The page tree's count; every page object is counted as well, so that a
  # damaged tree does not pass.
  pages=$(grep -a -o '/Count [0-9]*' "$pdf" | head -1 | cut -d' ' -f2)
  local objects
  objects=$(grep -a -c '/Type /Page$' "$pdf" || true)
  [ -n "$pages" ] && [ "$pages" -ge "$min_pages" ] && [ "$objects" -eq "$pages" ] ||
    { echo "FAIL: $pdf has ${pages:-no} pages in its tree and $objects page objects (want >= $min_pages)"; return 1; }
  echo "ok: $pdf ($pages pages, $bytes bytes)"
}
