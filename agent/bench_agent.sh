#!/usr/bin/env bash
# Benchmark of the whole migration (not a test: it prints figures and judges nothing).
#
#   agent/bench_agent.sh [ROWS] [BUILD_DIR]
#
# Starts a private MariaDB and fills a table shaped like sysbench's sbtest (id INT, k INT,
# c CHAR(120), pad CHAR(60)) with ROWS rows (default 1,000,000), starts the stand-in in sink mode
# (bulk-loaded rows are decoded and checked, then dropped, so the figure is the migrator's), and
# runs qvxagent on it, best of three. Prints rows per second, the wall-time ratio against reading
# the same table with `mariadb --quick` in this script, and qvxagent's peak memory for the full
# table and for a tenth of it (flat memory: the agent holds rows in passing, not the table).
# Leaves nothing running.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
rows=${1:-1000000}
build=${2:-$root/build}
agent=$build/bin/qvxagent
mssim=$build/bin/mssim
for f in "$agent" "$mssim"; do
  [ -x "$f" ] || { echo "bench_agent.sh: $f not built" >&2; exit 1; }
done
small=$((rows / 10))

# shellcheck source=../tools/mariadb/mdb.sh
. "$root/tools/mariadb/mdb.sh"
dir=$(mktemp -d /tmp/agent-bench.XXXXXX)
ms_pid=
cleanup() {
  [ -n "$ms_pid" ] && kill -TERM "$ms_pid" 2>/dev/null && wait "$ms_pid" 2>/dev/null
  mdb_fixture_cleanup "$dir/mariadb" >/dev/null 2>&1 || true
  rm -rf "$dir"
}
trap cleanup EXIT
port=$(mdb_start "$dir/mariadb" --watch $$ -- --innodb-buffer-pool-size=1G)
mdb_accounts "$dir/mariadb" >/dev/null 2>&1 || true

fill() { # table rows
  mdb_sql "$dir/mariadb" bench -e "
    CREATE TABLE $1 (id INT NOT NULL PRIMARY KEY, k INT NOT NULL DEFAULT 0,
                     c CHAR(120) NOT NULL DEFAULT '', pad CHAR(60) NOT NULL DEFAULT '',
                     KEY k_1 (k)) ENGINE=InnoDB;
    INSERT INTO $1 SELECT seq, FLOOR(1 + RAND() * $2),
      CONCAT_WS('-', $(for i in $(seq 10); do printf "LPAD(FLOOR(RAND()*1e11),11,'0')%s" "$([ "$i" -lt 10 ] && echo ,)"; done)),
      CONCAT_WS('-', $(for i in $(seq 5); do printf "LPAD(FLOOR(RAND()*1e11),11,'0')%s" "$([ "$i" -lt 5 ] && echo ,)"; done))
    FROM seq_1_to_$2;"
}
echo "Filling sbtest-shaped tables ($rows and $small rows)..."
mdb_sql "$dir/mariadb" -e "CREATE DATABASE bench CHARACTER SET utf8mb4"
fill t "$rows"
fill t_small "$small"
mdb_reader "$dir/mariadb" "$mdb_reader_user" "$mdb_reader_password" bench

"$mssim" --port 0 --sink </dev/null >"$dir/mssim.out" 2>"$dir/mssim.err" &
ms_pid=$!
ms_port=
for _ in $(seq 1 100); do
  ms_port=$(head -n 1 "$dir/mssim.out" 2>/dev/null || true)
  [ -n "$ms_port" ] && break
  sleep 0.1
done
[ -n "$ms_port" ] || { echo "bench_agent.sh: the stand-in did not start" >&2; exit 1; }

now() { date +%s%N; }
tables_file() { printf '%s\n' "$1" >"$dir/tables.txt"; echo "$dir/tables.txt"; }
best_agent() { # table -> "milliseconds peak_rss_kb exit_code" of the best of three
  local best="" i t rss rc list
  list=$(tables_file "$1")
  for i in 1 2 3; do
    t=$(now)
    set +e
    /usr/bin/time -f '%M' -o "$dir/time.out" "$agent" --silent --src=bench --dest="bench$i" \
      --tab_file="$list" --mysqlh=127.0.0.1 --port="$port" --mysqlu="$mdb_reader_user" \
      --mysqlp="$mdb_reader_password" --mssqlh="127.0.0.1,$ms_port" --mssqlu=sa \
      --mssqlp='Passw0rd!'
    rc=$?
    set -e
    t=$((($(now) - t) / 1000000))
    rss=$(tail -n 1 "$dir/time.out")
    if [ -z "$best" ] || [ "$t" -lt "${best%% *}" ]; then best="$t $rss $rc"; fi
  done
  echo "$best"
}
best_client() { # table -> best milliseconds of three
  local best="" i t
  for i in 1 2 3; do
    t=$(now)
    mariadb --no-defaults --quick -h127.0.0.1 -P"$port" -u"$mdb_reader_user" \
      -p"$mdb_reader_password" --default-character-set=utf8mb4 -e "SELECT * FROM bench.$1" \
      >/dev/null
    t=$((($(now) - t) / 1000000))
    if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
  done
  echo "$best"
}

best_client t >/dev/null # warm the buffer pool
read -r a_ms a_rss a_rc <<<"$(best_agent t)"
c_ms=$(best_client t)
read -r s_ms s_rss s_rc <<<"$(best_agent t_small)"

rate() { awk -v n="$1" -v ms="$2" 'BEGIN { printf "%d", (ms > 0 ? n * 1000 / ms : 0) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
echo
echo "qvxagent migrating an sbtest-shaped table from MariaDB into the stand-in (sink mode)"
echo "best of 3, wall time of the whole program (start, connect, create, copy, commit)"
printf '  %-10s %9s rows  %7d ms  %8s rows/s  peak RSS %7s KB  exit %s\n' \
  t "$rows" "$a_ms" "$(rate "$rows" "$a_ms")" "$a_rss" "$a_rc"
printf '  %-10s %9s rows  %7d ms  %8s rows/s  peak RSS %7s KB  exit %s\n' \
  t_small "$small" "$s_ms" "$(rate "$small" "$s_ms")" "$s_rss" "$s_rc"
echo "  mariadb --quick reading t: $c_ms ms; qvxagent / client wall-time ratio: $(ratio "$a_ms" "$c_ms")"
echo "  peak memory, full table against a tenth of it: $(ratio "$a_rss" "$s_rss")"
