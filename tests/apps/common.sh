# Shared by the zynvs command-line tests: a scratch folder, an emulated device
# on free loopback ports fed commands through a FIFO, and `expect_run`, which
# runs one command line and checks its exit status and a text in its output.
set -euo pipefail
bin="$1"; artifacts="${2:-}"
zynvs="$bin/zynvs"
work="$(mktemp -d)"
devsim_pid=""
cleanup() {
  if [ -n "$devsim_pid" ]; then kill "$devsim_pid" 2>/dev/null || true; wait "$devsim_pid" 2>/dev/null || true; fi
  exec 7>&- 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}"
failures=0

# start_device [devsim options]: sets $port and $stream_port; `device CMD`
# sends it a command.
start_device() {
  mkfifo "$work/devsim.in"
  "$bin/zyn-devsim" --control-port 0 --stdin "$@" < "$work/devsim.in" > "$work/devsim.log" 2>&1 &
  devsim_pid=$!
  exec 7> "$work/devsim.in"
  for _ in $(seq 200); do
    grep -q ready "$work/devsim.log" 2>/dev/null && break
    sleep 0.1
  done
  port="$(sed -n 's/.*control 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/devsim.log" | head -1)"
  stream_port="$(sed -n 's/.*, stream \([0-9]*\),.*/\1/p' "$work/devsim.log" | head -1)"
  [ -n "$port" ] && [ -n "$stream_port" ] || { cat "$work/devsim.log"; exit 1; }
}
device() { echo "$*" >&7; }

# expect_run STATUS TEXT COMMAND...: TEXT is an extended regular expression
# looked for in stdout and stderr together.
expect_run() {
  local want="$1" text="$2"; shift 2
  local out status=0
  out="$("$@" 2>&1)" || status=$?
  if [ "$status" != "$want" ] || ! grep -qE -- "$text" <<<"$out"; then
    echo "FAIL: $* -> exit $status (want $want), text /$text/:"
    sed 's/^/    /' <<<"$out" | tail -15
    failures=$((failures + 1))
  else
    echo "ok: $*"
  fi
}

finish() {
  [ "$failures" = 0 ] || { echo "$failures case(s) failed"; exit 1; }
}
