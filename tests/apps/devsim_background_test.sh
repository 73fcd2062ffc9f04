#!/usr/bin/env bash
# `zyn-devsim &` in an interactive shell on a terminal keeps running (it does
# not read the terminal from the background, so job control does not stop
# it) and `kill %1` ends it.
. "$(dirname "$0")/common.sh"
mkfifo "$work/keys"
script -qec "env -i PATH=$PATH TERM=dumb PS1='$ ' bash --norc -i" /dev/null \
  < "$work/keys" > "$work/screen" 2>&1 &
script_pid=$!
exec 8> "$work/keys"
echo "$bin/zyn-devsim --control-port 0 > $work/devsim.out &" >&8
echo "for i in \$(seq 100); do grep -q ready $work/devsim.out && break; sleep 0.1; done; sleep 0.5" >&8
echo "jobs -l; echo RUNNING-CHECKED; kill %1; wait; echo KILLED; exit" >&8
for _ in $(seq 300); do grep -q KILLED "$work/screen" && break; sleep 0.1; done
exec 8>&-
wait "$script_pid" || true
screen="$(tr -d '\r' < "$work/screen")"
if grep -qE '^\[1\]\+ +[0-9]+ Running +.*zyn-devsim' <<<"$screen" && grep -q '^KILLED' <<<"$screen" \
   && grep -q 'ready' "$work/devsim.out"; then
  echo "ok: zyn-devsim in the background runs and kill %1 ends it"
else
  echo "FAIL: zyn-devsim in the background of an interactive shell:"; echo "$screen"; exit 1
fi
