#!/usr/bin/env bash
# Runs ctest in the given build folder with a private Xvfb display. Meant to be
# run inside scripts/in_netns.sh.
set -euo pipefail
build="$1"; shift
xvfb_pid=""
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT
if command -v Xvfb >/dev/null && [ -z "${ZYNVS_NO_XVFB:-}" ]; then
  # -displayfd lets Xvfb pick a free display number and tell us which.
  fifo="$(mktemp -u)"; mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$fifo" > "$build/xvfb.log" 2>&1 &
  xvfb_pid=$!
  read -r -t 20 num < "$fifo" || { echo "run_ctest: Xvfb did not start" >&2; exit 1; }
  rm -f "$fifo"
  export DISPLAY=":$num"
  echo "run_ctest: Xvfb on $DISPLAY"
fi
export SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}"
cd "$build"
ctest --output-on-failure -j "${JOBS:-2}" --timeout "${ZYNVS_TEST_TIMEOUT:-600}" "$@"
