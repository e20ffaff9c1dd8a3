#!/usr/bin/env bash
# Builds the indexed-file fuzzer with libFuzzer and the address and
# undefined-behaviour sanitizers, and runs it for SECONDS (default 60) on a
# copy of the seed corpus.  Exits non-zero when it finds anything.  Without
# clang++ or libFuzzer it prints a note and exits 0.
set -uo pipefail
cd "$(dirname "$0")/.."
SECONDS_TO_RUN="${1:-60}"
OUT=build-fuzz
mkdir -p "$OUT"

build() {
  clang++ -std=c++20 -O1 -g -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -Isrc src/isam/*.cc fuzz/index_fuzz.cc -o "$OUT/index_fuzz" 2>"$OUT/build.log"
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
rm -rf "$RUN_CORPUS"
mkdir -p "$RUN_CORPUS" "$OUT/artifacts"
cp fuzz/corpus/* "$RUN_CORPUS/"
echo "fuzz: running index_fuzz for ${SECONDS_TO_RUN}s"
"$OUT/index_fuzz" -max_total_time="$SECONDS_TO_RUN" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
  -artifact_prefix="$PWD/$OUT/artifacts/" -print_final_stats=1 "$RUN_CORPUS" >"$OUT/fuzz.log" 2>&1
rc=$?
tail -n 15 "$OUT/fuzz.log"
if [ $rc -ne 0 ]; then
  echo "fuzz: index_fuzz found a problem (exit $rc); see $OUT/fuzz.log and $OUT/artifacts/"
  exit 1
fi
echo "fuzz: nothing found"
