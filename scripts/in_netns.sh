#!/usr/bin/env bash
# Runs a command inside a private network namespace: only a loopback device,
# multicast routed to it, so no datagram can leave the machine.
set -euo pipefail
if [ "${ZYNVS_IN_NETNS:-}" != "1" ]; then
  export ZYNVS_IN_NETNS=1
  exec unshare --net --fork -- "$0" "$@"
fi
ip link set lo up
ip route add 224.0.0.0/4 dev lo src 127.0.0.1 2>/dev/null || true
# Sanity: nothing but lo may exist here.
if grep -qvE '^\s*(lo:|Inter-|\s*face)' /proc/self/net/dev; then
  echo "in_netns: not a private namespace" >&2
  exit 1
fi
exec "$@"
