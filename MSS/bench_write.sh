#!/usr/bin/env bash
# Benchmark of the destination writer (not a test: it prints figures and judges nothing).
#
#   MSS/bench_write.sh [ROWS] [BUILD_DIR]        (defaults: 200000 rows, build/)
#
# Starts the stand-in with --sink (bulk rows are decoded and checked, then dropped, so the
# figure is the writer's, not SQLite's) and writes sbtest-shaped rows through the bulk path
# (mss_bench --mode fast), best of three; then a tenth of them through INSERT statements into a
# stand-in that stores them (--mode slow, which the sink does not cover). Prints rows per second
# of both and, for comparison, the stand-in's own sink rate as freebcp reaches it
# (tools/mssim/bench_sink.sh). Leaves nothing running.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rows=${1:-200000}
build=${2:-$root/build}
bench=$build/bin/mss_bench
mssim=${MSSIM_BIN:-$build/bin/mssim}
for b in "$bench" "$mssim"; do
  [ -x "$b" ] || { echo "bench_write.sh: $b not built" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

start() { # name args... -> port on stdout
  local name=$1; shift
  "$mssim" --port 0 "$@" >"$work/$name.out" 2>"$work/$name.err" &
  pids+=($!)
  local port=
  for _ in $(seq 1 200); do
    port=$(head -1 "$work/$name.out" 2>/dev/null || true)
    [[ "$port" =~ ^[0-9]+$ ]] && { echo "$port"; return 0; }
    sleep 0.05
  done
  echo "mssim did not report its port" >&2; cat "$work/$name.err" >&2; return 1
}

sink=$(start sink --sink)
best=
for run in 1 2 3; do
  line=$("$bench" --port "$sink" --rows "$rows" --mode fast --db "bench$run")
  echo "fast run $run: $line"
  rate=${line##*rows_per_second=}
  if [ -z "$best" ] || [ "$rate" -gt "$best" ]; then best=$rate; fi
done
echo "bulk path into the sink, best of 3: $best rows/s"

stored=$(start stored)
slow_rows=$((rows / 10))
line=$("$bench" --port "$stored" --rows "$slow_rows" --mode slow)
echo "statement path into a storing stand-in: $line"

if [ -x "$root/tools/mssim/bench_sink.sh" ]; then
  echo "for comparison, freebcp into the sink:"
  MSSIM_BIN=$mssim "$root/tools/mssim/bench_sink.sh" "$rows" 1000 || true
fi
