#!/usr/bin/env bash
# The demonstration behind `make demo` (which builds invreport and invdb
# first): a 2,000-item sample store in demo/, and the sales by category report
# run over it there.
# Running it again starts from a fresh demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath -m "${BUILD:-build}")

rm -rf demo
mkdir demo
"$build/invdb" sample demo/STOCK --items 2000
echo
echo "== invreport -RPT 12 -F STOCK   (in demo/)"
(cd demo && "$build/invreport" -RPT 12 -F STOCK)
echo
if [[ -s demo/OUTF21.DAT ]]; then
  echo "The report is in demo/OUTF21.DAT ($(stat -c %s demo/OUTF21.DAT) bytes: fixed 134-byte lines, CR LF)."
else
  echo "demo/OUTF21.DAT was not written."
fi
echo "Try another report there:  (cd demo && ../build/invreport -RPT 09 -F STOCK)"
