#!/usr/bin/env bash
# Builds the indexed-file fuzzer and the SQL extension's fuzzer with
# libFuzzer and the address and undefined-behaviour sanitizers, and runs
# each for SECONDS (default 60) on a copy of the seed corpus (both read the
# same inputs: an index file and a record file).  Exits non-zero when either
# finds anything.  Without clang++ or libFuzzer it prints a note and exits 0.
set -uo pipefail
cd "$(dirname "$0")/.."
SECONDS_TO_RUN="${1:-60}"
OUT=build-fuzz
mkdir -p "$OUT"

build() {
  rm -f "$OUT/sql_fuzz"
  clang++ -std=c++20 -O1 -g -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -Isrc src/isam/*.cc fuzz/index_fuzz.cc -o "$OUT/index_fuzz" 2>"$OUT/build.log"
  # The extension built into the fuzzer, calling SQLite directly.
  clang++ -std=c++20 -O1 -g -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -DSQLITE_CORE \
    -DINV_VERSION='"fuzz"' -Isrc -Itools src/isam/*.cc src/report_common/*.cc src/reports/catalogue.cc \
    $(ls tools/invdb/*.cc | grep -v '/main\.cc$') tools/invsql/*.cc fuzz/sql_fuzz.cc -lsqlite3 \
    -o "$OUT/sql_fuzz" 2>"$OUT/build-sql_fuzz.log" || true
}

if ! command -v clang++ >/dev/null 2>&1 || ! build; then
  if command -v apt-get >/dev/null 2>&1; then
    apt-get install -y -qq clang libclang-rt-14-dev >/dev/null 2>&1 ||
      { apt-get update -qq >/dev/null 2>&1 && apt-get install -y -qq clang libclang-rt-14-dev >/dev/null 2>&1; } || true
  fi
  if ! command -v clang++ >/dev/null 2>&1 || ! build; then
    echo "fuzz: clang++ with libFuzzer is not available; fuzzing skipped"
    exit 0
  fi
fi

RUN_CORPUS="$PWD/fuzz/corpus-run"
mkdir -p "$OUT/artifacts"
found=0
for fuzzer in index_fuzz sql_fuzz; do
  [[ -x $OUT/$fuzzer ]] || { echo "fuzz: $fuzzer was not built (see $OUT/build*.log)"; found=1; continue; }
  rm -rf "$RUN_CORPUS"
  mkdir -p "$RUN_CORPUS"
  cp fuzz/corpus/* "$RUN_CORPUS/"
  echo "fuzz: running $fuzzer for ${SECONDS_TO_RUN}s"
  "$OUT/$fuzzer" -max_total_time="$SECONDS_TO_RUN" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -artifact_prefix="$PWD/$OUT/artifacts/$fuzzer-" -print_final_stats=1 "$RUN_CORPUS" >"$OUT/$fuzzer.log" 2>&1
  rc=$?
  tail -n 15 "$OUT/$fuzzer.log"
  if [ $rc -ne 0 ]; then
    echo "fuzz: $fuzzer found a problem (exit $rc); see $OUT/$fuzzer.log and $OUT/artifacts/"
    found=1
  fi
done
[ $found -eq 0 ] || exit 1
echo "fuzz: nothing found"
