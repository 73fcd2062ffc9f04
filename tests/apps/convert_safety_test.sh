#!/usr/bin/env bash
# zynvs convert never harms what it did not make: the source as its own
# target (by name or by a link), a target that is not a regular file, a disk
# that fills up, a stop by SIGTERM, and a source that is not a recording all
# fail with a reason and leave every file as it was.
. "$(dirname "$0")/common.sh"

"$zynvs" demo --seconds 2 --out "$work/demo" > "$work/demo.log" 2>&1 || { cat "$work/demo.log"; exit 1; }
rec="$work/demo/channel0.zyn"
sum() { md5sum "$1" | cut -d' ' -f1; }
src_sum="$(sum "$rec")"
ln -s "$rec" "$work/link.zyn"
ln "$rec" "$work/hard.zyn"
mkfifo "$work/fifo.avi"
head -c 5000 /dev/urandom > "$work/noise.zyn"
printf 'keep me' > "$work/old.avi"

expect_run 1 "is the source itself" "$zynvs" convert "$rec" "$rec" --mode clip
expect_run 1 "is the source itself" "$zynvs" convert "$rec" "$work/link.zyn" --mode avi
expect_run 1 "is the source itself" "$zynvs" convert "$work/hard.zyn" "$rec" --mode mpeg
expect_run 1 "is not a regular file" "$zynvs" convert "$rec" "$work/fifo.avi" --mode avi
expect_run 1 "noise.zyn: not a recording" "$zynvs" convert "$work/noise.zyn" "$work/old.avi" --mode avi
expect_run 1 "noise.zyn: not a recording" "$zynvs" play "$work/noise.zyn" --no-window
expect_run 1 "Not a directory" "$zynvs" convert "$rec" "$work/old.avi/x.avi" --mode avi
[ "$(sum "$rec")" = "$src_sum" ] || { echo "FAIL: the source changed"; failures=$((failures + 1)); }
[ -p "$work/fifo.avi" ] || { echo "FAIL: the FIFO was replaced"; failures=$((failures + 1)); }

# A full disk, played by a file size limit: the write fails with the
# system's reason and the old target stays.
for mode in avi mpeg clip mp4 mkv; do
  expect_run 1 "old.avi: File too large" \
    bash -c 'trap "" XFSZ; ulimit -f 8; exec "$@"' - "$zynvs" convert "$rec" "$work/old.avi" --mode $mode
done
[ "$(cat "$work/old.avi")" = "keep me" ] || { echo "FAIL: old.avi was touched"; failures=$((failures + 1)); }

# Stopped half-way (a long recording: the records of one repeated): the old
# target stays and no partial file is left beside it.
{ cat "$rec"; for _ in $(seq 20); do tail -c +513 "$rec"; done; } > "$work/long.zyn"
"$zynvs" convert "$work/long.zyn" "$work/old.avi" --mode mpeg > "$work/stop.log" 2>&1 &
pid=$!
for _ in $(seq 100); do
  ls "$work"/old.avi.partial-* > /dev/null 2>&1 && break
  sleep 0.05
done
kill -TERM "$pid"
status=0; wait "$pid" || status=$?
if [ "$status" != 1 ] || ! grep -q "stopped at .*old.avi left as it was" "$work/stop.log" \
   || [ "$(cat "$work/old.avi")" != "keep me" ] || ls "$work"/old.avi.partial-* > /dev/null 2>&1; then
  echo "FAIL: SIGTERM during convert (exit $status):"; cat "$work/stop.log"; ls "$work"
  failures=$((failures + 1))
else
  echo "ok: SIGTERM during convert"
fi

# And a good job replaces the target.
expect_run 0 "convert: .* \(avi\)" "$zynvs" convert "$work/link.zyn" "$work/old.avi" --mode avi
[ "$(head -c 4 "$work/old.avi")" = RIFF ] || { echo "FAIL: old.avi not replaced"; failures=$((failures + 1)); }
finish
