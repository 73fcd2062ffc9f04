#!/usr/bin/env bash
# zynconfig scripted against each emulated vendor with ZYN_VENDOR_STATE: a
# run sets values on a page and saves; a second run (for QV against a
# restarted emulator) reads them back. A corrupt or truncated state file is
# reported and ignored. Also the script options' failures.
# Usage: zynconfig_state_test.sh BIN_DIR [ARTIFACTS] [SOURCE_DIR]
source "$(dirname "$0")/common.sh"
export ZYNSEARCH_VENDOR_DEVICES=/nonexistent  # the libraries' built-in devices
export QT_QPA_PLATFORM=offscreen
export ZYN_VENDOR_STATE="$work/state"
mkdir -p "$ZYN_VENDOR_STATE"

qv=""
start_qv() {
  "$bin/zyn-devsim" --control-port 0 --qv 1 --qv-port 0 --channels 1 --size 160x120 \
    --sub-size 160x120 --fps 5 --no-stdin > "$work/sim.log" 2>&1 &
  devsim_pid=$!
  for _ in $(seq 200); do grep -q "ready" "$work/sim.log" && break; sleep 0.1; done
  qv="$(sed -n 's/.*QV device 0: .* qvnet01 \([0-9.]*:[0-9]*\).*/\1/p' "$work/sim.log")"
  [ -n "$qv" ] || { echo "emulator did not start:"; cat "$work/sim.log"; exit 1; }
}
stop_qv() { kill "$devsim_pid"; wait "$devsim_pid" 2>/dev/null || true; devsim_pid=""; }

# The devices: name address port user password type.
lc=(cam 127.0.0.41 5000 570431 570431 2)
ants=(nvr 127.0.0.71 8000 admin 12345 3)
zc() { timeout -k 5 30 "$bin/zynconfig" "$@"; }

# round_trip DEVICE... -- PAGE STEPS... -- LINES...: a run that sets and
# saves, then a run whose dump must hold every line.
round_trip() {
  local -a device=() steps=() want=()
  while [ "$1" != "--" ]; do device+=("$1"); shift; done; shift
  local page="$1"; shift
  while [ "$1" != "--" ]; do steps+=("$1"); shift; done; shift
  want=("$@")
  expect_run 0 "logged in" zc "${device[@]}" --page "$page" "${steps[@]}"
  local out
  out="$(zc "${device[@]}" --page "$page" --dump 2>&1)" || true
  for line in "${want[@]}"; do
    if grep -qxF -- "$line" <<<"$out"; then
      echo "ok: type ${device[5]} \"$page\" reads back $line"
    else
      echo "FAIL: type ${device[5]} \"$page\": no line '$line' in:"; sed 's/^/    /' <<<"$out" | head -40
      failures=$((failures + 1))
    fi
  done
}

# LangChi: network port and the video coding of channel 1.
round_trip "${lc[@]}" -- "IP address and port" --set ctl248=5123 --click ctl281 -- ctl248=5123
round_trip "${lc[@]}" -- "video coding" --set ctl453=1500 --set ctl454=VBR --set ctl447=12 \
  --click ctl367 -- ctl453=1500 ctl454=VBR ctl447=12
# ANTS: an alarm input's name and contact type, its handling, and the video coding.
round_trip "${ants[@]}" -- "sensor alarm" --set ctl569=Door --set ctl554=1 --set ctl555=1 \
  --click ctl367 -- ctl569=Door "ctl554=normal close" ctl555=1
round_trip "${ants[@]}" -- "video coding" --set ctl453=3000 --set ctl443=40 --click ctl367 -- \
  ctl453=3000 ctl443=40
# QV: the emulator restarts between the runs (new port, same device id).
start_qv
round_trip cam "${qv%:*}" "${qv#*:}" admin vupra 10 -- "video coding" --set ctl453=777 \
  --set ctl439=720P --click ctl367 -- "ctl453=777" "ctl439=720P"
stop_qv
start_qv
expect_run 0 "^ctl453=777$" zc cam "${qv%:*}" "${qv#*:}" admin vupra 10 --page "video coding" --dump
expect_run 0 "^ctl439=720P$" zc cam "${qv%:*}" "${qv#*:}" admin vupra 10 --page "video coding" --dump
stop_qv

# A broken state file is reported and the device starts from its defaults.
state="$ZYN_VENDOR_STATE/AntsNetSDK-127.0.0.71-8000.rec"
[ -s "$state" ] || { echo "FAIL: no state file $state"; failures=$((failures + 1)); }
head -c -3 "$state" > "$work/cut" && cp "$work/cut" "$state"
expect_run 0 "vendor state .*: truncated; ignored" zc "${ants[@]}" --page "sensor alarm" --dump
expect_run 0 "^ctl569=AlarmIn1$" zc "${ants[@]}" --page "sensor alarm" --dump
printf 'garbage' > "$state"
expect_run 0 "not a record file; ignored" zc "${ants[@]}" --page "video coding" --dump
# A save replaces the broken file with a whole one.
expect_run 0 "tips: Set success" zc "${ants[@]}" --page "sensor alarm" --set ctl569=Gate --click ctl367
expect_run 0 "^ctl569=Gate$" zc "${ants[@]}" --page "sensor alarm" --dump

# Script failures: unknown control, a value a list does not have, a
# disabled button; nothing is saved then.
expect_run 1 "no control named ctl9999" zc "${ants[@]}" --page "sensor alarm" --set ctl9999=1
expect_run 1 "ctl554: no entry \"ajar\"" zc "${ants[@]}" --page "sensor alarm" --set ctl554=ajar \
  --click ctl367
expect_run 1 "ctl556: the button is disabled" zc "${ants[@]}" --page "sensor alarm" --set ctl555=0 \
  --click ctl556
expect_run 2 "--set needs NAME=VALUE" zc "${ants[@]}" --set
finish
