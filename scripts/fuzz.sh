#!/usr/bin/env bash
# Fuzzes every reader with libFuzzer: builds the targets of tests/fuzz with clang in their own
# build folder (the main g++ build is untouched), runs each target for SECONDS, two at a time,
# and merges the inputs that reach new code into tests/fuzz/corpus/<target>/.
#
#   scripts/fuzz.sh SECONDS            fuzz, keeping new corpus entries
#   scripts/fuzz.sh --check SECONDS    the same, leaving the corpus as it is (./test.sh)
#
# Before fuzzing, the text and protocol file readers also read the pathological files made
# here (two million columns, one 10 MB cell, a hundred thousand stray quotes), each within 30 s
# (instrumented; bench/bench_readers times the real reader). A finding stops with the target's
# report; its input is kept in $VZ_FUZZ_BUILD_DIR/findings/.
# VZ_FUZZ_TARGETS picks targets, VZ_FUZZ_JOBS sets how many run at once (default 2).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
keep=1
if [ "${1:-}" = "--check" ]; then
  keep=0
  shift
fi
seconds=${1:?usage: scripts/fuzz.sh [--check] SECONDS}
build=${VZ_FUZZ_BUILD_DIR:-$top/build-fuzz}
jobs=${VZ_FUZZ_JOBS:-2}
targets=(${VZ_FUZZ_TARGETS:-fuzz_commalist fuzz_textfile fuzz_protocolfile fuzz_colour fuzz_writers
  fuzz_float fuzz_regional fuzz_settings fuzz_journal})

launcher=""
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$top" CCACHE_NOHASHDIR=1
  launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
fi
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVZ_FUZZ=ON -DVZ_TESTS=OFF -DVZ_BENCH=OFF $launcher >/dev/null
cmake --build "$build" --target vz_fuzzers -j "$(nproc)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
findings="$build/findings"
mkdir -p "$findings" "$work/big"

# The pathological files, made here rather than kept in the repository.
python3 - "$work/big" <<'PY'
import sys
out = sys.argv[1]
head = b"GenerelSettings,0\r\nFontColSettings\r\nFontRowSettings\r\nUserSettings\r\n-1\r\n"
row = b",".join([b"x"] * 2_000_000)
open(f"{out}/columns.txt", "wb").write(head + row + b"\r\n" + row + b"\r\n")
open(f"{out}/cell.txt", "wb").write(head + b"Rang,Nr.\r\n1.,\"" + b"z" * 10_000_000 + b"\"\r\n")
open(f"{out}/quotes.txt", "wb").write(head + b"".join(b'%d.,"x\r\n' % i for i in range(100_000)))
PY

run() {
  local t=$1 bin="$build/tests/fuzz/$1" corpus="$top/tests/fuzz/corpus/$1"
  local dict=() log="$work/$1.log"
  mkdir -p "$work/$t" "$corpus"
  if [ -f "$top/tests/fuzz/$t.dict" ]; then dict=(-dict="$top/tests/fuzz/$t.dict"); fi
  case $t in
    fuzz_textfile | fuzz_protocolfile)
      "$bin" -timeout=30 -rss_limit_mb=4096 -artifact_prefix="$findings/$t-" \
        "$work"/big/* >"$log" 2>&1 || { echo "$t: a pathological file failed"; tail -n 30 "$log"; return 1; } ;;
  esac
  if ! "$bin" -max_total_time="$seconds" -timeout=5 -max_len=65536 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/$t-" "${dict[@]}" \
    "$work/$t" "$corpus" >>"$log" 2>&1; then
    echo "$t: FINDING (input kept in $findings)"
    tail -n 40 "$log"
    return 1
  fi
  local runs cov
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1 || true)
  echo "$t: ${runs:-?} runs in ${seconds} s, ${cov:-no coverage line}"
  if ((keep)); then
    "$bin" -merge=1 -max_len=65536 "$corpus" "$work/$t" >>"$log" 2>&1
  fi
}

status=0
# In batches of $jobs: each target gets the same time, whatever the others do.
for ((i = 0; i < ${#targets[@]}; i += jobs)); do
  pids=()
  for t in "${targets[@]:i:jobs}"; do
    run "$t" &
    pids+=($!)
  done
  for p in "${pids[@]}"; do wait "$p" || status=1; done
done
exit $status
