#!/usr/bin/env bash
# Times every report over a 32,000-item sample store: the median, fastest
# and slowest wall-clock time of RUNS runs (default 7), the median processor
# time (user + system: what the run costs when the machine is shared) and the
# peak resident memory, one table.  Called by `make bench` after the build.
#   ITEMS=32000 RUNS=7 BUILD=build bash bench/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build="$root/${BUILD:-build}"
items=${ITEMS:-32000}
runs=${RUNS:-7}
invdb="$build/invdb"
invreport="$build/invreport"
measure="$build/bench-measure"

if [[ ! -x $measure || bench/measure.cc -nt $measure ]]; then
  ${CXX:-c++} -std=c++20 -O2 -o "$measure" bench/measure.cc
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/invbench.XXXXXX")
trap 'rm -rf "$work"' EXIT

start=$(date +%s%N)
"$invdb" sample "$work/STOCK" --items "$items" >/dev/null
built_ms=$(( ($(date +%s%N) - start) / 1000000 ))
"$invdb" check "$work/STOCK" >/dev/null || { echo "bench: the sample store does not check clean" >&2; exit 1; }

cd "$work"
echo "$items items (sample store built in $built_ms ms); $runs timed runs per report after one untimed run"
echo "$(nproc) cores: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo
printf '%-6s %10s %8s %8s %8s %9s  %s\n' report "median ms" "min ms" "max ms" "cpu ms" "peak KiB" output
placeholders=()
for n in 01 02 03 04 05 06 07 08 09 10 11 12 13 14 15; do
  rm -f OUTF21.DAT KOROt15.csv
  read -r median min max cpu rss status < <("$measure" "$runs" "$invreport" -RPT "$n" -F STOCK -DT 123108)
  out=OUTF21.DAT
  [[ $n == 15 ]] && out=KOROt15.csv
  if [[ -s $out ]]; then
    what="$out $(stat -c %s "$out") bytes"
  else
    what="nothing written (placeholder?)"
    placeholders+=("$n")
  fi
  [[ $status == 0 ]] || what="$what, exit status $status"
  printf '%-6s %10s %8s %8s %8s %9s  %s\n' "$n" "$median" "$min" "$max" "$cpu" "$rss" "$what"
done
if ((${#placeholders[@]})); then
  echo
  echo "reports that wrote nothing: ${placeholders[*]}"
fi
