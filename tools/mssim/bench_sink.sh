#!/usr/bin/env bash
# Bulk ingest rate of the stand-in's sink mode: freebcp sends sbtest-shaped rows (id, k, c, pad)
# to an mssim started with --sink, which decodes and checks every row and then drops it.
# Prints the rows per second; later benchmarks of the migrator compare against this figure to
# know the stand-in is not their bottleneck. Not run by ctest.
#
#   tools/mssim/bench_sink.sh [ROWS] [BATCH]      (defaults: 1000000 rows, batches of 100000)
#   MSSIM_BIN=/path/to/mssim tools/mssim/bench_sink.sh
set -euo pipefail

rows=${1:-1000000}
batch=${2:-100000}
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=${MSSIM_BIN:-$root/build/bin/mssim}
[ -x "$bin" ] || { echo "no mssim binary at $bin (build it or set MSSIM_BIN)" >&2; exit 1; }
for tool in freebcp tsql awk; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (freetds-bin)" >&2; exit 1; }
done

work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

"$bin" --port 0 --sink >"$work/stdout" 2>"$work/stderr" &
pid=$!
for _ in $(seq 1 200); do
  port=$(head -1 "$work/stdout" 2>/dev/null || true)
  [[ "$port" =~ ^[0-9]+$ ]] && break
  kill -0 "$pid" 2>/dev/null || { cat "$work/stderr" >&2; exit 1; }
  sleep 0.05
done
[[ "${port:-}" =~ ^[0-9]+$ ]] || { echo "mssim did not report its port" >&2; exit 1; }

printf '[mssim]\n\thost = 127.0.0.1\n\tport = %s\n\ttds version = 7.4\n' "$port" >"$work/freetds.conf"
export FREETDSCONF=$work/freetds.conf

tsql -H 127.0.0.1 -p "$port" -U sa -P 'Passw0rd!' >"$work/tsql.out" 2>"$work/tsql.err" <<'SQL'
CREATE TABLE sbtest1 (id int NOT NULL PRIMARY KEY, k int NOT NULL DEFAULT 0,
  c char(120) NOT NULL DEFAULT '', pad char(60) NOT NULL DEFAULT '')
go
exit
SQL
if grep -q '^Msg ' "$work/tsql.err"; then cat "$work/tsql.err" >&2; exit 1; fi

# sysbench's shape: c is eleven groups of eleven digits, pad five groups, joined by '-'.
awk -v n="$rows" 'BEGIN {
  srand(42)
  for (i = 1; i <= n; i++) {
    c = ""; for (g = 0; g < 11; g++) c = c (g ? "-" : "") sprintf("%011d", int(rand() * 99999999999))
    p = ""; for (g = 0; g < 5; g++) p = p (g ? "-" : "") sprintf("%011d", int(rand() * 99999999999))
    printf "%d\t%d\t%s\t%s\n", i, int(rand() * n), c, p
  }
}' >"$work/rows.txt"

start=$(date +%s.%N)
freebcp sbtest1 in "$work/rows.txt" -S mssim -U sa -P 'Passw0rd!' -c -t '\t' -r '\n' \
  -b "$batch" >"$work/bcp.out" 2>&1 || { cat "$work/bcp.out" >&2; exit 1; }
end=$(date +%s.%N)
grep -q "^$rows rows copied" "$work/bcp.out" || { cat "$work/bcp.out" >&2; exit 1; }

awk -v r="$rows" -v s="$start" -v e="$end" 'BEGIN {
  t = e - s
  printf "sink bulk ingest: %d rows in %.2f s = %.0f rows/s\n", r, t, r / t
}'
