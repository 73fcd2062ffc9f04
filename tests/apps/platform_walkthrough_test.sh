#!/usr/bin/env bash
# The README's platform walkthrough: an emulated encoder's video goes through
# `zynvs platform` to an emulated user client that records it; ffprobe must
# find H.264 frames in the file, and both programs stop cleanly on SIGTERM.
source "$(dirname "$0")/common.sh"
src="$3"
port=19400  # the suite runs in its own network namespace
platform_pid=""
stop_platform() {
  if [ -n "$platform_pid" ]; then kill "$platform_pid" 2>/dev/null || true; wait "$platform_pid" 2>/dev/null || true; fi
  cleanup
}
trap stop_platform EXIT

# wait_for FILE REGEX: up to 20 s.
wait_for() {
  for _ in $(seq 200); do
    grep -qE -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "FAIL: /$2/ never appeared in $1:"; sed 's/^/    /' "$1"; exit 1
}

"$zynvs" platform "$src/examples/platform.parties" --port "$port" > "$work/platform.log" 2>&1 &
platform_pid=$!
wait_for "$work/platform.log" "control service on 127.0.0.1:$port"

"$bin/zyn-devsim" --devices 0 --no-stdin --platform-port "$port" \
  --party encoder:100:enc:enc-pw --party client:200:viewer:view-pw \
  --want 100:0 --record "$work/front-desk.avi" > "$work/devsim.log" 2>&1 &
devsim_pid=$!
wait_for "$work/platform.log" "subscribers: encoder 100 \(Gate camera\) channel 0: 1"
# Two seconds of video: the file grows while the client records.
for _ in $(seq 200); do
  [ "$(stat -c %s "$work/front-desk.avi" 2>/dev/null || echo 0)" -gt 60000 ] && break
  sleep 0.1
done

status=0
kill -TERM "$devsim_pid"; wait "$devsim_pid" || status=$?
devsim_pid=""
[ "$status" = 0 ] || { echo "FAIL: zyn-devsim exit $status"; failures=$((failures + 1)); }
wait_for "$work/platform.log" "logout: client 200 \(Front desk\)"
status=0
kill -TERM "$platform_pid"; wait "$platform_pid" || status=$?
platform_pid=""
[ "$status" = 0 ] || { echo "FAIL: zynvs platform exit $status"; failures=$((failures + 1)); }

for text in "login: encoder 100 \(Gate camera\)" "login: client 200 \(Front desk\)" \
            "relay: 0x0201 from client 200 \(Front desk\) to encoder 100" \
            "logout: encoder 100" "subscribers: encoder 100 \(Gate camera\) channel 0: 0" "stopped$"; do
  if grep -qE -- "$text" "$work/platform.log"; then echo "ok: platform printed /$text/"
  else echo "FAIL: platform did not print /$text/"; failures=$((failures + 1)); fi
done

probe="$(ffprobe -v error -count_frames -select_streams v:0 \
  -show_entries stream=codec_name,nb_read_frames -of csv=p=0 "$work/front-desk.avi" || true)"
codec="${probe%%,*}"; frames="${probe##*,}"
if [ "$codec" = h264 ] && [ "${frames:-0}" -gt 0 ] 2>/dev/null; then
  echo "ok: ffprobe reads $frames H.264 frames"
else
  echo "FAIL: ffprobe says '$probe'"; sed 's/^/    /' "$work/devsim.log" | tail -8
  failures=$((failures + 1))
fi
[ -z "$artifacts" ] || cp "$work/platform.log" "$artifacts/platform_walkthrough.log" 2>/dev/null || true
finish
