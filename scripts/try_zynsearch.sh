#!/usr/bin/env bash
# Shows zynsearch at work inside a private network namespace: the emulator
# (own and QV devices) and the vendor emulations on loopback, a search
# without a window, then the window on a private Xvfb display with one search
# run, and a screenshot of it (zynsearch-window.png, or the path given).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${ZYNVS_IN_NETNS:-}" != "1" ]; then exec scripts/in_netns.sh "$0" "$@"; fi
shot="$(realpath -m "${1:-zynsearch-window.png}")"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT
build/bin/zyn-devsim --search --qv 2 --no-stdin --quiet & pids+=($!)
sleep 3
build/bin/zynsearch --list --seconds 3
fifo="$(mktemp -u)"; mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$fifo" 2>/dev/null & pids+=($!)
read -r -t 20 num < "$fifo"; rm -f "$fifo"
export DISPLAY=":$num"
build/bin/zynsearch & pids+=($!)
win=""
for _ in $(seq 50); do win="$(xdotool search --name '^Search$' 2>/dev/null | head -1)" && [ -n "$win" ] && break; sleep 0.2; done
[ -n "$win" ] || { echo "try_zynsearch: no window" >&2; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove --window "$win" $((WIDTH - 40)) $((HEIGHT - 20)) click 1   # Search
sleep 7
import -window "$win" "$shot"
echo "window: $shot"
