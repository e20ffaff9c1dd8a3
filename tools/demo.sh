#!/usr/bin/env bash
# The demonstration behind `make demo` (which builds the three programs it
# runs first): a 2,000-item sample store in demo/, the sales by category report
# run over it there, and that report rendered to HTML, PDF and a spreadsheet.
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
if [[ -s demo/OUTF21.DAT ]]; then
  echo
  echo "== invrender OUTF21.DAT -o report12.html / report12.pdf / report12.xlsx   (in demo/)"
  "$build/invrender" demo/OUTF21.DAT -o demo/report12.html
  "$build/invrender" demo/OUTF21.DAT -o demo/report12.pdf
  "$build/invrender" demo/OUTF21.DAT -o demo/report12.xlsx
  echo "To read it: $PWD/demo/report12.html"
  echo "            $PWD/demo/report12.pdf"
  echo "            $PWD/demo/report12.xlsx   (a spreadsheet: figures as numbers, a chart sheet)"
  echo "            ../build/invrender OUTF21.DAT | less   (in demo/; plain text)"
fi
if [[ -f $build/invsql.so ]] && command -v sqlite3 >/dev/null; then
  echo
  echo "== sqlite3 with the invsql extension: the five categories holding the most stock at cost"
  sqlite3 -header -column -cmd ".load $build/invsql" :memory: \
    "SELECT Cat, count(*) AS items, sum(QOH) AS on_hand, round(sum(QOH * UntCost) / 1000.0, 2) AS at_cost
       FROM invstore('demo/STOCK') GROUP BY Cat ORDER BY at_cost DESC LIMIT 5"
fi
echo "Try another report there:  (cd demo && ../build/invreport -RPT 09 -F STOCK)"
