#!/usr/bin/env bash
# A shared mssim for ctest fixtures.
#   mssim_fixture.sh start BINARY DIR [mssim options...]
#       starts BINARY --port 0 on 127.0.0.1, waits for its port line, writes DIR/port, DIR/pid
#   mssim_fixture.sh stop DIR
#       stops the server DIR/pid names (SIGTERM, SIGKILL after 10 s) and removes DIR/port
# The server's output goes to DIR/stdout and DIR/stderr, never to ctest's pipes, so ctest does
# not wait for the background process.
set -euo pipefail

stop() {
  local dir=$1 pid i
  [ -f "$dir/pid" ] || return 0
  pid=$(cat "$dir/pid")
  # Only signal a process that is still this fixture's server.
  if [ -n "$pid" ] && [ -r "/proc/$pid/cmdline" ] &&
     tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q -- "--port 0"; then
    kill -TERM "$pid" 2>/dev/null || true
    for i in $(seq 1 200); do
      if ! kill -0 "$pid" 2>/dev/null ||
         [ "$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)" = Z ]; then
        break
      fi
      sleep 0.05
    done
    if kill -0 "$pid" 2>/dev/null && [ "$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)" != Z ]; then
      echo "mssim $pid did not stop in 10 s, killing it" >&2
      kill -KILL "$pid" 2>/dev/null || true
    fi
  fi
  rm -f "$dir/pid" "$dir/port"
}

case "${1:-}" in
  start)
    bin=${2:?usage: mssim_fixture.sh start BINARY DIR [options]}
    dir=${3:?usage: mssim_fixture.sh start BINARY DIR [options]}
    shift 3
    mkdir -p "$dir"
    stop "$dir"
    rm -f "$dir/stdout" "$dir/stderr"
    setsid "$bin" --port 0 "$@" </dev/null >"$dir/stdout" 2>"$dir/stderr" &
    pid=$!
    echo "$pid" >"$dir/pid"
    for i in $(seq 1 300); do
      if [ -s "$dir/stdout" ] && head -1 "$dir/stdout" | grep -qE '^[0-9]+$'; then
        head -1 "$dir/stdout" >"$dir/port.tmp"
        mv "$dir/port.tmp" "$dir/port"
        echo "mssim $pid on 127.0.0.1:$(cat "$dir/port")"
        exit 0
      fi
      if ! kill -0 "$pid" 2>/dev/null; then
        echo "mssim exited before reporting its port:" >&2
        cat "$dir/stderr" >&2
        rm -f "$dir/pid"
        exit 1
      fi
      sleep 0.05
    done
    echo "mssim did not report its port within 15 s" >&2
    stop "$dir"
    exit 1
    ;;
  stop)
    stop "${2:?usage: mssim_fixture.sh stop DIR}"
    ;;
  *)
    echo "usage: mssim_fixture.sh start BINARY DIR [options] | stop DIR" >&2
    exit 2
    ;;
esac
