#!/usr/bin/env bash
# The manual rendered by the build: beside the program in build/bin, a real
# multi-page PDF, and the one the program's Help command finds there.
set -euo pipefail
pdf=$1
program=$2
. "$(dirname "$0")/pdf_checks.sh"
check_pdf "$pdf" 8 30000
report=$(env -i PATH=/usr/bin:/bin HOME=/nonexistent "$program" --check-libraries) || true
echo "$report"
grep -qxF "manual: $pdf" <<< "$report" || { echo "FAIL: the program does not find the manual beside itself"; exit 1; }
echo PASS
