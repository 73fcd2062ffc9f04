#!/usr/bin/env bash
# zynconfig against the device emulator (own protocol and QV roles) and each
# emulated vendor library: the login line, the tree, and a screenshot of the
# "Basic settings" page per device type in ARTIFACTS (zynconfig_typeN.png).
# Usage: zynconfig_devices.sh BIN_DIR ARTIFACTS
set -euo pipefail
bin="$1"; art="$2"
mkdir -p "$art"
export ZYNSEARCH_VENDOR_DEVICES=/nonexistent  # the libraries' built-in devices
[ -n "${DISPLAY:-}" ] || export QT_QPA_PLATFORM=offscreen
work="$(mktemp -d)"
sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

"$bin/zyn-devsim" --control-port 0 --qv 1 --qv-port 0 --channels 1 --size 160x120 \
  --sub-size 160x120 --fps 5 --no-stdin > "$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 200); do grep -q "^.*ready" "$work/sim.log" && break; sleep 0.1; done
own_port="$(sed -n 's/.*device 0: id 1, control 127.0.0.1:\([0-9]*\).*/\1/p' "$work/sim.log")"
qv="$(sed -n 's/.*QV device 0: .* qvnet01 \([0-9.]*:[0-9]*\).*/\1/p' "$work/sim.log")"
[ -n "$own_port" ] && [ -n "$qv" ] || { echo "emulator did not start:"; cat "$work/sim.log"; exit 1; }

fail=0
# Each run has 30 s; a run that takes longer is reported with its output.
run() { timeout -k 5 30 "$bin/zynconfig" "$@"; }
# type address port user password  expected login line  expected last tree line
check() {
  local type="$1" addr="$2" port="$3" user="$4" pass="$5" want="$6" last="$7"
  local out="$work/out$type" err="$work/err$type"
  echo "type $type: $addr:$port"
  if ! run cam "$addr" "$port" "$user" "$pass" "$type" --tree > "$out" 2> "$err"; then
    echo "type $type: --tree failed or hung"; cat "$out" "$err"; fail=1; return
  fi
  grep -q "$want" "$err" || { echo "type $type: want '$want'"; cat "$err"; fail=1; }
  [ "$(tail -n 1 "$out")" = "$last" ] || { echo "type $type: last item '$(tail -n 1 "$out")'"; fail=1; }
  run cam "$addr" "$port" "$user" "$pass" "$type" --page "Basic settings" \
    --screenshot "$art/zynconfig_type$type.png" 2> "$err" \
    || { echo "type $type: screenshot failed or hung"; cat "$err"; fail=1; }
}
check 1 127.0.0.1 "$own_port" admin admin "type 1, logged in, 1 channels, 1 alarm inputs, 1 alarm outputs" \
  "Timer Record	1	CTimeRecordDlg"
check 2 127.0.0.41 5000 570431 570431 "type 2, logged in, 1 channels" \
  "Storage devices	1	CStorageDeviceDlg"
check 3 127.0.0.71 8000 admin 12345 "type 3, logged in, 4 channels, 4 alarm inputs, 2 alarm outputs" \
  "Disk Management	1	CDlgHardDiskCfg"
check 10 "${qv%:*}" "${qv#*:}" admin vupra "type 10, logged in, 1 channels" \
  "Alarm settings	0	CAlarmSetDlg"
check 7 127.0.0.1 1 admin admin "type 7, no device" "Alarm settings	0	CAlarmSetDlg"

# The emulator saw the own-protocol and QV logins end in logouts.
grep -q "logout admin" "$work/sim.log" || { echo "no logout at the emulator"; fail=1; }
[ "$fail" = 0 ] && echo "zynconfig: every device type opened and closed"
exit "$fail"
