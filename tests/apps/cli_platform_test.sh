#!/usr/bin/env bash
# zynvs against a device reached through a platform (the emulator's platform
# role): parameters, PTZ, records and talk carry the session token; live video
# is recorded whole and survives the platform ending the session.
. "$(dirname "$0")/common.sh"
token="cli-platform-token"
start_device --platform --token "$token" --channels 2
d=(--kind platform --token "$token" --channels 2 --port "$port" --stream-port "$stream_port")

expect_run 2 "--kind.*direct\|platform, not .relay." "$zynvs" get base --kind relay --port "$port"
expect_run 1 "cannot log into .*: the device refused the login" "$zynvs" get base "${d[@]}" --token wrong
expect_run 0 "^base \(88 bytes\):" "$zynvs" get base "${d[@]}"
expect_run 0 "" "$zynvs" set pan "${d[@]}" --channel 1 --hex "01 02 03 04"
expect_run 0 "0000  01 02 03 04" "$zynvs" get pan "${d[@]}" --channel 1
expect_run 0 "ptz command 21 speed 5 on channel 1" "$zynvs" ptz "${d[@]}" --command 21 --speed 5 --channel 1
expect_run 0 "(timer|alarm|manual) " "$zynvs" records "${d[@]}"
ffmpeg -nostdin -v error -f lavfi -i sine=frequency=440:duration=1.5 -ar 8000 -ac 1 -c:a pcm_s16le "$work/speech.wav"
expect_run 0 "^talk: 1\.5 s of .*speech.wav sent" "$zynvs" talk "${d[@]}" --wav "$work/speech.wav"

# The platform ends the session in the middle of a recorded live run, once
# frames have arrived: the next tick logs in again and the channel is asked
# for again.
env ZYNVS_TICK_MS=100 "$zynvs" live "${d[@]}" --channel 0 --seconds 6 --no-audio \
  --record "$work/plt.avi" --avi > "$work/live.out" 2>&1 &
live_pid=$!
for _ in $(seq 100); do
  grep -q "| ch0 [1-9]" "$work/live.out" && break
  sleep 0.1
done
device end-session 0
wait "$live_pid" || true
out="$(cat "$work/live.out")"
frames="$(sed -n 's/.*plt.avi (.*, \([0-9]*\) frames).*/\1/p' <<<"$out")"
probed="$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$work/plt.avi" || true)"
if ! grep -q "control connection lost" <<<"$out" || ! grep -q "logged in again" <<<"$out" ||
   ! grep -q "channel 0: stream restored" <<<"$out" || [ -z "$frames" ] || [ "$frames" != "$probed" ] ||
   [ "$frames" -lt 50 ]; then
  echo "FAIL: live through the platform (summary $frames frames, ffprobe $probed):"; echo "$out"
  failures=$((failures + 1))
else
  echo "ok: live through the platform, session ended and restored ($frames frames)"
fi
finish
