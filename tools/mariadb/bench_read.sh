#!/usr/bin/env bash
# Benchmark of the MySQL reader (not a test: it prints figures and judges nothing).
#
#   tools/mariadb/bench_read.sh [ROWS] [SQL_BENCH]
#
# Starts a private MariaDB, fills a table shaped like sysbench's sbtest (id INT, k INT,
# c CHAR(120), pad CHAR(60)) with ROWS rows (default 1,000,000) and a second one with a tenth of
# them, then reads each through sql_recordset (the sql_bench program, default build/bin/sql_bench)
# and with `mariadb --quick -e 'SELECT * FROM t' > /dev/null`, best of three runs each. Prints
# rows per second, the wall-time ratio against the client and the peak memory of both sizes
# (flat memory means the reader holds a chunk, not the table). Leaves nothing running.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
rows=${1:-1000000}
bench=${2:-$root/build/bin/sql_bench}
[ -x "$bench" ] || { echo "bench_read.sh: $bench not built (cmake --build ... --target sql_bench)" >&2; exit 1; }
small=$((rows / 10))

# shellcheck source=mdb.sh
. "$here/mdb.sh"
dir=$(mktemp -d /tmp/mdb-bench.XXXXXX)
trap 'mdb_fixture_cleanup "$dir" >/dev/null 2>&1 || true' EXIT
port=$(mdb_start "$dir" --watch $$ -- --innodb-buffer-pool-size=1G)
mdb_accounts "$dir" >/dev/null 2>&1 || true

fill() { # table rows
  mdb_sql "$dir" bench -e "
    CREATE TABLE $1 (id INT NOT NULL PRIMARY KEY, k INT NOT NULL DEFAULT 0,
                     c CHAR(120) NOT NULL DEFAULT '', pad CHAR(60) NOT NULL DEFAULT '',
                     KEY k_1 (k)) ENGINE=InnoDB;
    INSERT INTO $1 SELECT seq, FLOOR(1 + RAND() * $2),
      CONCAT_WS('-', $(for i in $(seq 10); do printf "LPAD(FLOOR(RAND()*1e11),11,'0')%s" "$([ "$i" -lt 10 ] && echo ,)"; done)),
      CONCAT_WS('-', $(for i in $(seq 5); do printf "LPAD(FLOOR(RAND()*1e11),11,'0')%s" "$([ "$i" -lt 5 ] && echo ,)"; done))
    FROM seq_1_to_$2;"
}
echo "Filling sbtest-shaped tables ($rows and $small rows)..."
mdb_sql "$dir" -e "CREATE DATABASE bench CHARACTER SET utf8mb4"
t0=$(date +%s)
fill t "$rows"
fill t_small "$small"
echo "  filled in $(($(date +%s) - t0)) s"
mdb_reader "$dir" "$mdb_reader_user" "$mdb_reader_password" bench

now() { date +%s%N; }
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
best_reader() { # table -> "milliseconds peak_rss_kb rows_per_second" of the best of three
  local best="" line i t rss rps
  for i in 1 2 3; do
    t=$(now)
    line=$("$bench" --host 127.0.0.1 --port "$port" --user "$mdb_reader_user" \
      --password "$mdb_reader_password" --db bench --table "$1")
    t=$((($(now) - t) / 1000000))
    rss=$(sed -n 's/.*peak_rss_kb=\([0-9]*\).*/\1/p' <<<"$line")
    rps=$(sed -n 's/.*rows_per_second=\([0-9]*\).*/\1/p' <<<"$line")
    if [ -z "$best" ] || [ "$t" -lt "${best%% *}" ]; then best="$t $rss $rps"; fi
  done
  echo "$best"
}

best_client t >/dev/null # warm the buffer pool
read -r r_ms r_rss r_rps <<<"$(best_reader t)"
c_ms=$(best_client t)
read -r s_ms s_rss s_rps <<<"$(best_reader t_small)"
c_small_ms=$(best_client t_small)

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
echo
echo "Reading an sbtest-shaped table through sql_recordset (best of 3, wall time incl. connect)"
printf '  %-10s %12s %12s %12s %14s %14s\n' rows reader_ms client_ms ratio rows_per_s peak_rss_MiB
printf '  %-10s %12s %12s %12s %14s %14s\n' "$rows" "$r_ms" "$c_ms" "$(ratio "$r_ms" "$c_ms")" \
  "$r_rps" "$(awk -v k="$r_rss" 'BEGIN { printf "%.1f", k / 1024 }')"
printf '  %-10s %12s %12s %12s %14s %14s\n' "$small" "$s_ms" "$c_small_ms" \
  "$(ratio "$s_ms" "$c_small_ms")" "$s_rps" "$(awk -v k="$s_rss" 'BEGIN { printf "%.1f", k / 1024 }')"
echo "  aim: ratio within 1.5; peak memory the same for both sizes"
