#!/usr/bin/env bash
# Parameter fields by name: zynvs get/set round trip them through an emulated
# device, a video change shows in the picture the device then sends, and bad
# names and values are refused before anything is sent.
. "$(dirname "$0")/common.sh"
start_device
d=(--port "$port" --stream-port "$stream_port")

expect_run 0 "^  resolution +720p$" "$zynvs" get video "${d[@]}"
expect_run 0 "^video: resolution=cif bitrate=300 fps=10 gop=10 set on channel 0" \
  "$zynvs" set video "${d[@]}" resolution=cif bitrate=300 fps=10 gop=10
out="$("$zynvs" get video "${d[@]}")"
for want in "resolution +cif" "bitrate +300" "fps +10" "gop +10" "title +CH1"; do
  grep -qE "^  $want$" <<<"$out" || { echo "FAIL: get video lacks /$want/:"; echo "$out"; failures=$((failures + 1)); }
done
expect_run 0 "^0040  00 03 0a 00 2c 01 0a 00 02 " "$zynvs" get video "${d[@]}" --hex

# The next stream carries the new size.
expect_run 0 "recorded to" "$zynvs" live "${d[@]}" --seconds 2 --no-audio --record "$work/cif.avi" --avi
size="$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 "$work/cif.avi" || true)"
if [ "$size" = "352,288" ]; then echo "ok: recording is 352x288"; else echo "FAIL: recording is '$size'"; failures=$((failures + 1)); fi

# Device-wide groups, several kinds of field, read back.
expect_run 0 "set$" "$zynvs" set base "${d[@]}" "name=Gate cam" timezone=-300 dst=on
expect_run 0 "^  name +Gate cam$" "$zynvs" get base "${d[@]}"
expect_run 0 "^  timezone +-300$" "$zynvs" get base "${d[@]}"
expect_run 0 "set on channel 2" "$zynvs" set motion "${d[@]}" --channel 2 sensitivity=5 row3=0x3ff mon1=08:00-18:30
expect_run 0 "^  mon1 +08:00-18:30$" "$zynvs" get motion "${d[@]}" --channel 2
expect_run 0 "^  address +10\.1\.2\.3$" sh -c "'$zynvs' set network ${d[*]} address=10.1.2.3 >/dev/null && '$zynvs' get network ${d[*]}"

# Refused with the reason, exit 2, nothing sent.
expect_run 2 "unknown field 'colour'" "$zynvs" set video "${d[@]}" colour=red
expect_run 2 "bad value '31' for fps \(wants 1\.\.30\)" "$zynvs" set video "${d[@]}" fps=31
expect_run 2 "bad value 'huge' for resolution \(wants qcif\|cif" "$zynvs" set video "${d[@]}" resolution=huge
expect_run 2 "bad value '25:00-26:00' for sun1" "$zynvs" set record "${d[@]}" sun1=25:00-26:00
expect_run 2 "field 'serial' is read-only" "$zynvs" set base "${d[@]}" serial=X
expect_run 2 "'bitrate' is not FIELD=VALUE" "$zynvs" set video "${d[@]}" bitrate
expect_run 2 "the audio group has no named fields" "$zynvs" set audio "${d[@]}" x=1
expect_run 0 "^  fps +10$" "$zynvs" get video "${d[@]}"
finish
