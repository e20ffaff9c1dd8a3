#!/usr/bin/env bash
# Times every report over a store of ITEMS items (default 32,000) in two
# layouts of the record file, beside what the machine and sqlite3 need for
# the same work, and times the maintenance tool's import, export and check
# beside sqlite3.  Called by `make bench` after the build.
#   ITEMS=32000 RUNS=5 BUILD=build MASSIF=1 bash bench/run.sh
# BUILD may be any build directory (absolute or relative to the source
# tree), so that an older build can be timed on the same machine.
#
# Layouts: both stores hold the same items, headings and category names.
#   key order   the items imported in key order: record blocks in key order
#   random      the same items imported in a shuffled order (as when items are
#               added over the years): record blocks scattered over the file
#
# Last, the invsql extension is timed against SQLite over a native table of
# the same rows (bench/sql_compare.cc).
#
# Columns of the report tables (milliseconds are medians of RUNS runs of the
# whole process, after one untimed run that puts the files in the page cache):
#   ms        the report's wall-clock time (min: the fastest run, steadier on
#             a busy machine); cpu ms its user + system time
#   floor     reading both database files (cat to /dev/null) plus writing the
#             report's bytes (dd of the report's output file), counted with
#             one process start: cat + dd - true, each its fastest run (what
#             the machine allows, steady on a busy machine)
#   x floor   ms / floor
#   replace   the floor with the bytes written beside the previous report and
#             renamed over it, as a report does (bench/replace.cc instead of
#             dd): what replacing a file whole costs on this file system
#   x repl    ms / replace
#   x sql     ms / sqlite3's time for report 12's grouping query over the same
#             items in a plain table (measured in the same run)
#   peak KiB  the largest resident set of any run (mapped pages of the
#             database files included)
# With MASSIF=1 (the default when valgrind is present) the program's heap peak
# for reports 01 and 12 is measured with valgrind's massif.  Last, report 12
# and sqlite3's query are timed on a cold page cache: the database's files
# dropped from it before each run, as after a restart.  invrender's time for
# report 01 as a spreadsheet is measured too (it must stay within 2 s).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${BUILD:-build}
[[ $build == /* ]] || build="$root/$build"
items=${ITEMS:-32000}
runs=${RUNS:-5}
tool_runs=${TOOL_RUNS:-3}
invdb="$build/invdb"
invreport="$build/invreport"
massif=${MASSIF:-$(command -v valgrind >/dev/null && echo 1 || echo 0)}
for program in "$invdb" "$invreport"; do
  [[ -x $program ]] || { echo "bench: $program is missing (build first)" >&2; exit 1; }
done
command -v sqlite3 >/dev/null || { echo "bench: sqlite3 is missing (make deps)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/invbench.XXXXXX")
trap 'rm -rf "$work"' EXIT
measure="$work/measure"
${CXX:-c++} -std=c++20 -O2 -o "$measure" bench/measure.cc
${CXX:-c++} -std=c++20 -O2 -o "$work/replace" bench/replace.cc
cd "$work"

# ---- the stores ----
"$invdb" sample SAMPLE --items "$items" >/dev/null
"$invdb" export SAMPLE key.csv >/dev/null
{ head -n 1 key.csv; tail -n +2 key.csv | shuf --random-source=<(yes 15); } >random.csv
store() {  # NAME CSV: a store holding the CSV's items in the CSV's order
  rm -f "$1" "$1.XXX"
  "$invdb" create "$1" >/dev/null
  "$invdb" import "$1" "$2" >/dev/null
  "$invdb" heading "$1" --left "HILLCREST HARDWARE" "& GARDEN SUPPLY" "1200 MAIN STREET" "SPRINGDALE" \
    --right "STORE 001" "INVENTORY CONTROL" "PHONE 555-0100" >/dev/null
  "$invdb" check "$1" >/dev/null || { echo "bench: store $1 does not check clean" >&2; exit 1; }
}
store KEY key.csv
store RND random.csv
for csv in key random; do
  rm -f "$csv.db"
  sqlite3 "$csv.db" ".mode csv" ".import $csv.csv items"
done

# measure RUNS COMMAND...: "median min max cpu peak-KiB status"
timed() { "$measure" "$@"; }
median_of() { local m _; read -r m _ < <(timed "$@"); echo "$m"; }
fastest_of() { local _ m; read -r _ m _ < <(timed "$@"); echo "$m"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }

# The grouping query of report 12: category, the cycle and year-to-date
# sales and their cost, purchases, retail and cost value, quantity on hand.
group_query="SELECT CASE WHEN CAST(Cat AS INTEGER) <= 0 THEN 98 WHEN CAST(Cat AS INTEGER) > 98 THEN 99
  ELSE CAST(Cat AS INTEGER) END AS c, count(*), sum(CycSalesAmt), sum(CycSold * UntCost), sum(YTDSalesAmt),
  sum(YTDSold * UntCost), sum(CycPurchAmt), sum(YTDPurchAmt),
  sum(CASE WHEN YTDSold + 0 <> 0 THEN YTDSalesAmt / 100.0 / YTDSold * QOH END),
  sum(CASE WHEN YTDPurchQty + 0 <> 0 THEN YTDPurchAmt * 1.0 / YTDPurchQty * QOH END), sum(QOH)
  FROM items GROUP BY c ORDER BY c;"
heap_kib() {  # COMMAND...: the heap peak (useful + overhead) in KiB
  valgrind --tool=massif --massif-out-file=massif.out "$@" >/dev/null 2>&1 || true
  awk -F= '/mem_heap_B/ { h = $2 } /mem_heap_extra_B/ { if (h + $2 > peak) peak = h + $2 }
    END { printf "%d", peak / 1024 }' massif.out
}

echo "$items items; $runs timed runs per report after one untimed run; build $build"
echo "$(nproc) cores: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), load average $(cut -d' ' -f1-3 /proc/loadavg)"
true_ms=$(fastest_of "$runs" true)
worst_summary=()
declare -A checksum
for layout in KEY RND; do
  db=$layout
  sql_db=key.db
  title="key order (record blocks in key order)"
  if [[ $layout == RND ]]; then
    sql_db=random.db
    title="random order (record blocks scattered)"
  fi
  sql_ms=$(median_of "$runs" sqlite3 "$sql_db" "$group_query")
  cat_ms=$(fastest_of "$runs" cat "$db" "$db.XXX")
  echo
  echo "== $title: $(stat -c %s "$db") + $(stat -c %s "$db.XXX") bytes; cat of both files $cat_ms ms;" \
    "sqlite3 grouping query $sql_ms ms"
  printf '%-6s %7s %7s %7s %7s %7s %7s %6s %6s %9s  %s\n' report ms min "cpu ms" floor "x floor" replace "x repl" \
    "x sql" "peak KiB" output
  worst_floor=0 worst_replace=0 worst_sql=0
  for n in 01 02 03 04 05 06 07 08 09 10 11 12 13 14 15; do
    rm -f OUTF21.DAT KOROt15.csv
    read -r ms min _ cpu rss status < <(timed "$runs" "$invreport" -RPT "$n" -F "$db" -DT 123108)
    out=OUTF21.DAT
    [[ $n == 15 ]] && out=KOROt15.csv
    bytes=0
    [[ -f $out ]] && bytes=$(stat -c %s "$out") && cp "$out" report.out
    write_ms=$(fastest_of "$runs" dd if=report.out of=copy.out bs=1M status=none)
    floor=$(awk -v c="$cat_ms" -v w="$write_ms" -v t="$true_ms" 'BEGIN { printf "%.1f", c + w - t }')
    replace_ms=$(fastest_of "$runs" "$work/replace" report.out copy.out)
    replace=$(awk -v c="$cat_ms" -v w="$replace_ms" -v t="$true_ms" 'BEGIN { printf "%.1f", c + w - t }')
    xf=$(ratio "$ms" "$floor")
    xr=$(ratio "$ms" "$replace")
    xs=$(ratio "$ms" "$sql_ms")
    worst_floor=$(awk -v a="$worst_floor" -v b="$xf" 'BEGIN { print (b > a ? b : a) }')
    worst_replace=$(awk -v a="$worst_replace" -v b="$xr" 'BEGIN { print (b > a ? b : a) }')
    worst_sql=$(awk -v a="$worst_sql" -v b="$xs" 'BEGIN { print (b > a ? b : a) }')
    what="$out $bytes bytes"
    [[ $status == 0 ]] || what="$what, exit status $status"
    sum=$(cksum <"$out" 2>/dev/null || echo none)
    if [[ -n ${checksum[$n]:-} && ${checksum[$n]} != "$sum" ]]; then what="$what, DIFFERS from key order"; fi
    checksum[$n]=$sum
    printf '%-6s %7s %7s %7s %7s %7s %7s %6s %6s %9s  %s\n' "$n" "$ms" "$min" "$cpu" "$floor" "$xf" "$replace" "$xr" \
      "$xs" "$rss" "$what"
  done
  echo "worst: $worst_floor x floor, $worst_replace x the floor with the file replaced, $worst_sql x the sqlite3 query"
  worst_summary+=("$title: worst $worst_floor x floor, $worst_replace x replace floor, $worst_sql x sqlite3")
  if [[ $massif == 1 ]]; then
    echo "heap peak (massif): report 01 $(heap_kib "$invreport" -RPT 01 -F "$db" -DT 123108) KiB," \
      "report 12 $(heap_kib "$invreport" -RPT 12 -F "$db" -DT 123108) KiB"
  fi
done

# ---- the maintenance tool beside sqlite3 ----
echo
echo "== maintenance, $tool_runs timed runs each (ms, median)"
printf '%-28s %9s %9s %7s\n' operation invdb sqlite3 ratio
line() { printf '%-28s %9s %9s %7s\n' "$1" "$2" "$3" "$(ratio "$2" "$3")"; }
for csv in key random; do
  mine=$(median_of "$tool_runs" sh -c 'rm -f T T.XXX && "$1" create T >/dev/null && exec "$1" import T "$2"' \
    sh "$invdb" "$csv.csv")
  theirs=$(median_of "$tool_runs" sh -c 'rm -f t.db && exec sqlite3 t.db ".mode csv" ".import $1 items"' sh "$csv.csv")
  line "import ($csv order csv)" "$mine" "$theirs"
done
line "export (csv to stdout)" "$(median_of "$tool_runs" "$invdb" export RND)" \
  "$(median_of "$tool_runs" sqlite3 -csv -header random.db "SELECT * FROM items")"
line "check" "$(median_of "$tool_runs" "$invdb" check RND)" \
  "$(median_of "$tool_runs" sqlite3 random.db "PRAGMA integrity_check")"

# ---- the renderer: a long listing as a spreadsheet (at most 2 s) ----
echo
invrender="$build/invrender"
if [[ -x $invrender ]]; then
  "$invreport" -RPT 01 -F KEY -DT 123108 >/dev/null
  echo "== invrender: report 01 of $items items ($(stat -c %s OUTF21.DAT) bytes) to xlsx, $runs timed runs (ms)"
  read -r xlsx_ms xlsx_min _ < <(timed "$runs" "$invrender" OUTF21.DAT -o r01.xlsx)
  echo "median $xlsx_ms ms, fastest $xlsx_min ms, $(stat -c %s r01.xlsx) bytes;" \
    "at most 2000 ms: $(awk -v m="$xlsx_ms" 'BEGIN { print (m <= 2000 ? "met" : "MISSED") }')"
  worst_summary+=("invrender report 01 to xlsx: $xlsx_ms ms (at most 2000)")
fi

# ---- a cold page cache (last: a read from the disk leaves the files cached in
# whatever pages it read them into) ----
echo
echo "== cold page cache: both files of the database dropped from the page cache before each of $runs runs (ms, median)"
printf '%-28s %9s %9s %7s\n' operation invreport sqlite3 ratio
for layout in KEY RND; do
  sql_db=key.db
  [[ $layout == RND ]] && sql_db=random.db
  line "report 12 ($layout)" "$(median_of --cold "$layout,$layout.XXX" "$runs" "$invreport" -RPT 12 -F "$layout" -DT 123108)" \
    "$(median_of --cold "$sql_db" "$runs" sqlite3 "$sql_db" "$group_query")"
done

# ---- the SQLite extension beside SQLite reading its own table ----
if [[ -x $build/bench/sql_compare && -f $build/invsql.so ]]; then
  for i in $(seq -w 1 20); do cp KEY "C$i" && cp KEY.XXX "C$i.XXX"; done
  echo
  echo "== SQL: the invsql extension against SQLite over a native table of the same rows, one process," \
    "runs alternating, $((2 * runs + 1)) pairs (ms medians, median of the paired ratios)"
  "$build/bench/sql_compare" "$build/invsql.so" "$work" $((2 * runs + 1))
  rm -f C?? C??.XXX
fi

echo
printf '%s\n' "${worst_summary[@]}"
