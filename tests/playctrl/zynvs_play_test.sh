#!/usr/bin/env bash
# zynvs play on recordings made by `zynvs demo`: headless to the end, with
# stdin commands, and (with a display) in a window with a screenshot kept in
# the artefact folder.
set -euo pipefail
zynvs="$1"; artifacts="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}"

"$zynvs" demo --seconds 2 --out "$work/demo" > "$work/demo.log" 2>&1 || { cat "$work/demo.log"; exit 1; }
rec="$work/demo/channel0.zyn"
test -s "$rec"

# Headless, paced, to the end.
out="$(timeout 60 "$zynvs" play "$rec" --no-window < /dev/null)"
echo "$out" | tail -3
grep -q '^end of file' <<<"$out"
grep -qE '^end +pos 100 %' <<<"$out"

# Headless without pacing.
out="$(timeout 60 "$zynvs" play "$rec" --no-window --benchmark < /dev/null)"
grep -q '^benchmark: ' <<<"$out"

# The demo's AVI recording, whole and cut off in the middle of a frame (as a
# killed recorder leaves it), plays to its end.
avi="$work/demo/channel1.avi"
head -c "$(( $(stat -c %s "$avi") * 2 / 3 ))" "$avi" > "$work/cut.avi"
for f in "$avi" "$work/cut.avi"; do
  out="$(timeout 60 "$zynvs" play "$f" --no-window --benchmark < /dev/null)"
  grep -q '^end of file' <<<"$out" || { echo "$f did not play"; echo "$out"; exit 1; }
  grep -qE '^benchmark: .* [1-9][0-9]* pictures decoded' <<<"$out"
done

# Commands on stdin: each is answered with a status line.
out="$( (sleep 0.5; printf 'pause\nstep\nback\nfast\nslow\nseek 50\npos\nplay\n'; sleep 0.5; echo quit) \
        | timeout 60 "$zynvs" play "$rec" --no-window)"
for c in pause step back fast slow seek pos play; do
  grep -qE "^$c +pos" <<<"$out" || { echo "no answer to $c"; echo "$out"; exit 1; }
done
grep -qE '^fast +pos .* speed 1 ' <<<"$out"

if [ -n "${DISPLAY:-}" ]; then
  shot="$artifacts/zynvs_play_demo_window.bmp"
  rm -f "$shot"
  out="$(timeout 60 "$zynvs" play "$rec" --screenshot "$shot" < /dev/null)"
  grep -q '^end of file (notice for port' <<<"$out"
  test -s "$shot"
  echo "screenshot: $shot"
  # The status drawn over the picture: a black box with white text in the
  # lower-left corner, where the test pattern is grey noise (never black or
  # white).
  box=(-crop 60x12+14+514 -colorspace gray)
  dark="$(convert "$shot" "${box[@]}" -fx "p < 0.1 ? 1 : 0" -format "%[fx:mean]" info:)"
  light="$(convert "$shot" "${box[@]}" -fx "p > 0.9 ? 1 : 0" -format "%[fx:mean]" info:)"
  awk -v d="$dark" -v l="$light" 'BEGIN { exit !(d > 0.2 && l > 0.1) }' \
    || { echo "no status over the picture (dark $dark, light $light)"; exit 1; }
else
  echo "no DISPLAY: window part skipped"
fi
