#!/usr/bin/env bash
# zynvs live --window: the SDK draws three channels into one window laid out
# as a grid (a screenshot is kept as an artefact), the title names the device
# and the channels, s takes a snapshot of each channel and q ends the run.
. "$(dirname "$0")/common.sh"
[ -n "${DISPLAY:-}" ] || { echo "no DISPLAY: skipped"; exit 0; }
start_device
cd "$work"
"$zynvs" live --port "$port" --stream-port "$stream_port" --channel 0 --channel 1 --channel 2 \
  --seconds 60 --window > live.out 2>&1 &
pid=$!
# Past the first key frame of every channel (a GOP is 50 frames).
for _ in $(seq 150); do grep -qE "ch2 ([6-9][0-9]|[1-9][0-9]{2,}) fr" live.out && break; sleep 0.1; done
win="$(sed -n 's/^window \(0x[0-9a-f]*\).*/\1/p' live.out)"
[ -n "$win" ] || { cat live.out; exit 1; }
shot="$artifacts/zynvs_live_window.png"
import -window "$win" "$shot"
colours="$(convert "$shot" -format %k info:)"
title="$(xprop -id "$win" WM_NAME)"
xdotool key --window "$win" s 2>/dev/null
for _ in $(seq 50); do [ "$(ls zynvs-ch*.bmp 2>/dev/null | wc -l)" = 3 ] && break; sleep 0.1; done
xdotool key --window "$win" q 2>/dev/null
status=0; wait "$pid" || status=$?
grep -v " fr " live.out
[ "$status" = 0 ] || { echo "FAIL: exit $status"; failures=$((failures + 1)); }
[ "$colours" -gt 50 ] || { echo "FAIL: the window shows $colours colours"; failures=$((failures + 1)); }
grep -q "zynvs live 127.0.0.1:$port channels 0, 1, 2" <<<"$title" || { echo "FAIL: title $title"; failures=$((failures + 1)); }
[ "$(ls zynvs-ch*.bmp | wc -l)" = 3 ] || { echo "FAIL: snapshots missing"; failures=$((failures + 1)); }
grep -q "^result: ok" live.out || failures=$((failures + 1))
echo "screenshot: $shot ($colours colours)"
finish
