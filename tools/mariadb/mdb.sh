#!/usr/bin/env bash
# A private, throw-away MariaDB server for tests, benchmarks and demos.
#
# The server is Debian's mariadbd, started by hand (never the machine's own service) with every
# file in one directory, listening on 127.0.0.1 only, on a port found free at start. Nothing of
# /etc/mysql is read (--no-defaults is the first argument of every MariaDB program here).
#
# Commands (DIR is the server's directory; it is created when missing):
#   mdb.sh start DIR [--watch PID] [-- MARIADBD-OPTIONS...]
#       initialise DIR/data when needed, start the server, wait until it answers over its own
#       socket and over TCP from its own data directory, print the port. With --watch the server
#       is also stopped as soon as process PID has gone (so an interrupted test run leaves
#       nothing behind).
#   mdb.sh stop DIR           clean shutdown; waits until the process is gone.
#   mdb.sh sql DIR [ARGS...]  the command-line client as root over the private socket, utf8mb4.
#   mdb.sh load DIR DB|- FILE...  run SQL files (into database DB, or "-" for files that pick
#                             their own database), utf8mb4.
#   mdb.sh reader DIR USER PASSWORD DB...  a read-only account (SELECT, SHOW VIEW) for USER
#                             from 127.0.0.1 and localhost on the given databases.
#   mdb.sh accounts DIR [DB...]  remove the anonymous accounts, make the read-only test account
#                             (on DB..., or every user database) and write DIR/server.env.
#   mdb.sh env DIR            print DIR/server.env (see below).
#   mdb.sh fixture-setup DIR  the ctest fixture: a fresh server in DIR with the test accounts,
#                             Sakila and the fixtures of this folder; writes DIR/server.env.
#   mdb.sh fixture-cleanup DIR  stop the server and remove DIR.
#
# DIR/server.env holds KEY=VALUE lines (values never contain blanks or quotes) that a test reads
# or a shell sources: MDB_DIR MDB_HOST MDB_PORT MDB_SOCKET MDB_USER MDB_PASSWORD MDB_ROOT_USER
# MDB_ROOT_PASSWORD MDB_SCRIPT.
#
# The file can also be sourced; it then only defines the mdb_* functions.

mdb_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# The account the live tests read with, and its password.
mdb_reader_user=tvx_reader
mdb_reader_password=Rd-7pw.x2

mdb_die() { echo "mdb.sh: $*" >&2; return 1; }

mdb_free_port() {
  local p i
  for i in $(seq 1 100); do
    p=$((20000 + RANDOM % 40000))
    if [ -z "$(ss -Htln "sport = :$p" 2>/dev/null)" ]; then
      echo "$p"
      return 0
    fi
  done
  return 1
}

# Socket paths are limited to about 107 bytes: a deep DIR gets its socket in a private /tmp folder.
mdb_socket_path() {
  local dir=$1 s
  if [ -f "$dir/socket.path" ]; then
    cat "$dir/socket.path"
    return 0
  fi
  s="$dir/mysqld.sock"
  if [ ${#s} -gt 100 ]; then
    s="$(mktemp -d /tmp/mdb-sock.XXXXXX)/mysqld.sock" || return 1
  fi
  echo "$s" >"$dir/socket.path"
  echo "$s"
}

# The pid in DIR/mysqld.pid when it is really this directory's server (a stale pid file can name
# an unrelated process).
mdb_pid() {
  local dir=$1 pid
  pid=$(cat "$dir/mysqld.pid" 2>/dev/null) || return 1
  [ -n "$pid" ] || return 1
  { tr '\0' ' ' <"/proc/$pid/cmdline"; } 2>/dev/null | grep -qF -- "--datadir=$dir/data " || return 1
  echo "$pid"
}

mdb_exited() {
  local pid=$1
  ! kill -0 "$pid" 2>/dev/null || [ "$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)" = Z ]
}

mdb_sql() {
  local dir
  dir=$(cd "${1:?usage: mdb_sql DIR [ARGS...]}" && pwd) || return 1
  shift
  mariadb --no-defaults --socket="$(mdb_socket_path "$dir")" -uroot \
    --default-character-set=utf8mb4 "$@"
}

mdb_start() {
  local dir=${1:?usage: mdb_start DIR [--watch PID] [-- OPTIONS...]} watch="" port pid try i sock
  shift
  while [ $# -gt 0 ]; do
    case $1 in
      --watch) watch=${2:?--watch needs a pid}; shift 2 ;;
      --) shift; break ;;
      *) mdb_die "unknown option $1"; return 1 ;;
    esac
  done
  mkdir -p "$dir" || return 1
  dir=$(cd "$dir" && pwd)
  if pid=$(mdb_pid "$dir"); then
    mdb_die "a server is already running in $dir (pid $pid)"
    return 1
  fi
  sock=$(mdb_socket_path "$dir") || return 1
  if [ ! -d "$dir/data/mysql" ]; then
    mariadb-install-db --no-defaults --user=root --datadir="$dir/data" \
      --auth-root-authentication-method=normal --skip-test-db \
      --innodb-log-file-size=16M >"$dir/install.log" 2>&1 ||
      { mdb_die "mariadb-install-db failed, see $dir/install.log"; return 1; }
  fi
  for try in 1 2 3 4 5; do
    port=$(mdb_free_port) || { mdb_die "no free port"; return 1; }
    rm -f "$sock" "$dir/mysqld.pid"
    : >"$dir/error.log"
    # The server holds none of the caller's descriptors: ctest waits for a test's pipes to close.
    mariadbd --no-defaults --user=root --datadir="$dir/data" \
      --bind-address=127.0.0.1 --port="$port" --skip-networking=0 \
      --socket="$sock" --pid-file="$dir/mysqld.pid" \
      --log-error="$dir/error.log" --skip-name-resolve \
      --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci \
      --innodb-log-file-size=16M --innodb-buffer-pool-size=128M \
      --innodb-buffer-pool-dump-at-shutdown=0 --innodb-buffer-pool-load-at-startup=0 \
      --max-connections=300 "$@" \
      </dev/null >>"$dir/stdout.log" 2>&1 &
    pid=$!
    for i in $(seq 1 600); do # up to about 60 s
      mdb_exited "$pid" && break
      if mariadb-admin --no-defaults --socket="$sock" -uroot --connect-timeout=1 ping \
        >/dev/null 2>&1 &&
        [ "$(mariadb --no-defaults -h127.0.0.1 -P"$port" -uroot -N -B \
          -e 'SELECT @@datadir' 2>/dev/null)" = "$dir/data/" ]; then
        echo "$port" >"$dir/port"
        if [ -n "$watch" ]; then
          mdb_watch "$dir" "$watch" "$pid"
        fi
        echo "$port"
        return 0
      fi
      sleep 0.1
    done
    if ! mdb_exited "$pid"; then
      kill -TERM "$pid" 2>/dev/null
      wait "$pid" 2>/dev/null
      mdb_die "mariadbd not ready after 60 s, see $dir/error.log"
      return 1
    fi
    wait "$pid" 2>/dev/null
    grep -q "Address already in use" "$dir/error.log" 2>/dev/null ||
      { mdb_die "mariadbd exited, see $dir/error.log"; return 1; }
    # Lost a race for the port: try another one.
  done
  mdb_die "no port could be bound after 5 tries"
  return 1
}

# A detached watcher that stops the server once the watched process has gone. It only ever
# signals the server pid it was given, after checking that it still is this directory's server.
mdb_watch() {
  local dir=$1 owner=$2 server=$3
  rm -f "$dir/watch.pid"
  bash -c '
    dir=$1; owner=$2; server=$3; nap=
    trap '\''[ -n "$nap" ] && kill "$nap" 2>/dev/null; exit 0'\'' TERM
    trap "" HUP INT
    echo $$ >"$dir/watch.pid"
    while kill -0 "$owner" 2>/dev/null && kill -0 "$server" 2>/dev/null; do
      sleep 1 & nap=$!; wait "$nap"; nap=
    done
    if kill -0 "$server" 2>/dev/null &&
       { tr "\0" " " <"/proc/$server/cmdline"; } 2>/dev/null | grep -qF -- "--datadir=$dir/data "
    then
      kill -TERM "$server"
    fi
    rm -f "$dir/watch.pid"' mdb-watch "$dir" "$owner" "$server" </dev/null >/dev/null 2>&1 &
  local i
  for i in $(seq 1 50); do [ -s "$dir/watch.pid" ] && break; sleep 0.02; done
}

mdb_stop() {
  local dir=${1:?usage: mdb_stop DIR} pid w i
  dir=$(cd "$dir" 2>/dev/null && pwd) || return 0
  if w=$(cat "$dir/watch.pid" 2>/dev/null) && [ -n "$w" ] &&
    { tr '\0' ' ' <"/proc/$w/cmdline"; } 2>/dev/null | grep -qF -- " mdb-watch $dir "; then
    kill -TERM "$w" 2>/dev/null
  fi
  rm -f "$dir/watch.pid"
  pid=$(mdb_pid "$dir") || { rm -f "$dir/mysqld.pid"; return 0; }
  kill -TERM "$pid" 2>/dev/null || { rm -f "$dir/mysqld.pid"; return 0; }
  for i in $(seq 1 600); do
    if mdb_exited "$pid"; then
      wait "$pid" 2>/dev/null
      rm -f "$dir/mysqld.pid"
      return 0
    fi
    sleep 0.05
  done
  echo "mdb.sh: mariadbd $pid did not stop in 30 s, killing it" >&2
  kill -KILL "$pid" 2>/dev/null
  return 1
}

mdb_load() {
  local dir=${1:?usage: mdb_load DIR DB|- FILE...} db=${2:?usage: mdb_load DIR DB|- FILE...} f
  shift 2
  for f in "$@"; do
    if [ "$db" = - ]; then
      mdb_sql "$dir" <"$f" || { mdb_die "loading $f failed"; return 1; }
    else
      mdb_sql "$dir" "$db" <"$f" || { mdb_die "loading $f into $db failed"; return 1; }
    fi
  done
}

# Backquotes a name for a statement, doubling backquotes inside it.
mdb_quote_name() { printf '`%s`' "${1//\`/\`\`}"; }

mdb_reader() {
  local dir=${1:?usage: mdb_reader DIR USER PASSWORD DB...} user=$2 password=$3 db host sql=""
  shift 3
  for host in 127.0.0.1 localhost; do
    sql+="CREATE USER IF NOT EXISTS '$user'@'$host' IDENTIFIED BY '$password';"
    for db in "$@"; do
      sql+="GRANT SELECT, SHOW VIEW ON $(mdb_quote_name "$db").* TO '$user'@'$host';"
    done
  done
  mdb_sql "$dir" -e "$sql"
}

# The test accounts: the install's anonymous accounts (they would shadow the test account) are
# removed, the read-only account gets SELECT and SHOW VIEW on the given databases (every user
# database when none is given), and DIR/server.env is written.
mdb_accounts() {
  local dir=${1:?usage: mdb_accounts DIR [DB...]} dbs
  dir=$(cd "$dir" && pwd) || return 1
  shift
  mdb_sql "$dir" -e "DELETE FROM mysql.global_priv WHERE User=''; FLUSH PRIVILEGES;" || return 1
  if [ $# -eq 0 ]; then
    dbs=$(mdb_sql "$dir" -N -B -e "SELECT schema_name FROM information_schema.schemata
        WHERE schema_name NOT IN ('mysql','information_schema','performance_schema','sys')") ||
      return 1
    local IFS=$'\n'
    # shellcheck disable=SC2086
    set -- $dbs
    unset IFS
  fi
  mdb_reader "$dir" "$mdb_reader_user" "$mdb_reader_password" "$@" || return 1
  mdb_write_env "$dir"
}

mdb_write_env() {
  local dir=$1 port
  port=$(cat "$dir/port") || return 1
  cat >"$dir/server.env.tmp" <<EOF
MDB_DIR=$dir
MDB_HOST=127.0.0.1
MDB_PORT=$port
MDB_SOCKET=$(mdb_socket_path "$dir")
MDB_USER=$mdb_reader_user
MDB_PASSWORD=$mdb_reader_password
MDB_ROOT_USER=root
MDB_ROOT_PASSWORD=
MDB_SCRIPT=$mdb_here/mdb.sh
EOF
  mv "$dir/server.env.tmp" "$dir/server.env"
}

# True when DIR may be removed: missing, empty, or a server directory made by this script.
mdb_is_ours() {
  local dir=$1
  [ ! -e "$dir" ] || [ -z "$(ls -A "$dir" 2>/dev/null)" ] ||
    { [ -d "$dir/data/mysql" ] && [ -f "$dir/socket.path" ]; }
}

mdb_fixture_setup() {
  local dir=${1:?usage: mdb_fixture_setup DIR} owner=${2:-} t0 f
  local sakila=${MDB_SAKILA_DIR:-$mdb_here/sakila}
  [ -f "$sakila/sakila-schema.sql" ] && [ -f "$sakila/sakila-data.sql" ] ||
    { mdb_die "Sakila not found in $sakila (set MDB_SAKILA_DIR)"; return 1; }
  t0=$(date +%s%N)
  mkdir -p "$dir" && dir=$(cd "$dir" && pwd) || return 1
  # A run that was killed may have left its server; this directory is ours to renew.
  mdb_is_ours "$dir" || { mdb_die "$dir holds something else: not touching it"; return 1; }
  mdb_stop "$dir"
  rm -rf "$dir"
  mkdir -p "$dir"
  if [ -n "$owner" ]; then
    mdb_start "$dir" --watch "$owner" >/dev/null || return 1
  else
    mdb_start "$dir" >/dev/null || return 1
  fi
  mdb_load "$dir" - "$sakila/sakila-schema.sql" "$sakila/sakila-data.sql" || return 1
  for f in "$mdb_here"/fixtures/*.sql; do
    [ -e "$f" ] || continue
    mdb_load "$dir" - "$f" || return 1
  done
  mdb_accounts "$dir" || return 1
  local ms=$((($(date +%s%N) - t0) / 1000000))
  printf 'mdb.sh: private MariaDB on 127.0.0.1:%s ready in %d.%03d s (%s)\n' \
    "$(cat "$dir/port")" $((ms / 1000)) $((ms % 1000)) "$dir"
}

mdb_fixture_cleanup() {
  local dir=${1:?usage: mdb_fixture_cleanup DIR}
  [ -d "$dir" ] || return 0
  dir=$(cd "$dir" && pwd)
  mdb_is_ours "$dir" || { mdb_die "$dir holds something else: not touching it"; return 1; }
  mdb_stop "$dir" || return 1
  if [ -f "$dir/socket.path" ]; then
    local s
    s=$(cat "$dir/socket.path")
    case $s in /tmp/mdb-sock.*) rm -rf "$(dirname "$s")" ;; esac
  fi
  rm -rf "$dir"
}

mdb_main() {
  local cmd=${1:-}
  shift || true
  case $cmd in
    start) mdb_start "$@" ;;
    stop) mdb_stop "$@" ;;
    sql) mdb_sql "$@" ;;
    load) mdb_load "$@" ;;
    reader) mdb_reader "$@" ;;
    accounts) mdb_accounts "$@" ;;
    env) cat "${1:?usage: mdb.sh env DIR}/server.env" ;;
    fixture-setup) mdb_fixture_setup "$1" "$PPID" ;;
    fixture-cleanup) mdb_fixture_cleanup "$@" ;;
    *)
      sed -n '2,/^$/s/^# \{0,1\}//p' "${BASH_SOURCE[0]}" >&2
      return 2
      ;;
  esac
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -u
  mdb_main "$@"
fi
