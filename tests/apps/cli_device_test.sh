#!/usr/bin/env bash
# zynvs against an emulated device tells what happened: why a login failed,
# a channel the device lacks, writes that failed, every loss and recovery of
# a live run, and a run ended early by SIGTERM keeps its recordings whole.
. "$(dirname "$0")/common.sh"
start_device
d=(--port "$port" --stream-port "$stream_port")

expect_run 1 "cannot log into 127.0.0.1:1: connection refused" "$zynvs" reboot --port 1
device late 0
expect_run 1 "cannot log into .*: no answer within 3 s" "$zynvs" reboot "${d[@]}"
device clear 0
expect_run 1 "cannot log into .*: the device refused the login" "$zynvs" reboot "${d[@]}" --password wrong
expect_run 2 "channel 9 is out of range \(the device has 4\)" "$zynvs" get video "${d[@]}" --channel 9
expect_run 1 "cannot write $work/no/x.bin: No such file or directory" "$zynvs" get record "${d[@]}" --out "$work/no/x.bin"
expect_run 1 "cannot record to $work/no/x.zyn: No such file or directory" "$zynvs" live "${d[@]}" --record "$work/no/x.zyn" --seconds 1
expect_run 0 "^base \(88 bytes\):" "$zynvs" get base "${d[@]}"
expect_run 0 "(timer|alarm|manual) " "$zynvs" records "${d[@]}"
ffmpeg -nostdin -v error -f lavfi -i sine=frequency=440:duration=2.5 -ar 8000 -ac 1 -c:a pcm_s16le "$work/speech.wav"
expect_run 0 "^talk: 2\.5 s of .*speech.wav sent \(the file holds 2\.5 s\)" "$zynvs" talk "${d[@]}" --wav "$work/speech.wav"
if grep -qi "warning\|disk" <<<"$("$zynvs" talk "${d[@]}" --wav "$work/speech.wav" 2>&1)"; then
  echo "FAIL: talk printed audio-driver noise"; failures=$((failures + 1))
fi

# A stream loss in the middle is reported and restored (a short SDK tick
# makes the retry quick), and the run still ends well.
(sleep 2; device close 0 stream) &
expect_run 0 "channel 1: .*stream lost [1-9][0-9]* time\(s\), restored [1-9]" \
  env ZYNVS_TICK_MS=100 "$zynvs" live "${d[@]}" --channel 0 --channel 1 --seconds 6 --no-audio

# Two channels recorded: the second is cam.ch1.zyn, and each file holds
# exactly the frames the summary counted.
out="$("$zynvs" live "${d[@]}" --channel 0 --channel 1 --seconds 2 --record "$work/cam.zyn" 2>&1)"
for ch in 0 1; do
  got="$(sed -n "s/^channel $ch: \([0-9]*\) video frames.*/\1/p" <<<"$out")"
  file="$work/cam.zyn"; [ "$ch" = 1 ] && file="$work/cam.ch1.zyn"
  if ! grep -q "recorded to $file (.*, $got frames)" <<<"$out" || [ -z "$got" ] || [ "$got" = 0 ]; then
    echo "FAIL: channel $ch summary and file differ:"; echo "$out"; failures=$((failures + 1))
  fi
done

# SIGTERM ends a live run early: summary printed, the AVI finished (its
# frame count is what ffprobe finds).
"$zynvs" live "${d[@]}" --seconds 60 --record "$work/term.avi" --avi > "$work/term.log" 2>&1 &
pid=$!
for _ in $(seq 100); do grep -q " fr " "$work/term.log" && break; sleep 0.1; done
sleep 1
kill -TERM "$pid"
status=0; wait "$pid" || status=$?
frames="$(sed -n 's/.*term.avi (.*, \([0-9]*\) frames).*/\1/p' "$work/term.log")"
probed="$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$work/term.avi" || true)"
if [ "$status" != 0 ] || ! grep -q "stopped early by SIGTERM" "$work/term.log" || [ -z "$frames" ] || [ "$frames" != "$probed" ]; then
  echo "FAIL: SIGTERM during live (exit $status, summary $frames frames, ffprobe $probed)"; cat "$work/term.log"
  failures=$((failures + 1))
else
  echo "ok: SIGTERM during live ($frames frames)"
fi

# The device goes away for good: the loss is printed and the run fails.
(sleep 2; kill "$devsim_pid") &
expect_run 1 "the control connection was lost and the device did not come back" "$zynvs" live "${d[@]}" --seconds 8 --no-audio
finish
