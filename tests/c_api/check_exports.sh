#!/usr/bin/env bash
# check_exports.sh LIBRARY HEADER COUNT: the library's dynamic symbol table
# holds exactly the functions the header declares (COUNT of them), nothing else.
set -euo pipefail
lib="$1"; header="$2"; count="$3"
declared=$(grep -oE 'ZYNVS_CALL (ZYNVS_[A-Za-z0-9_]+)\(' "$header" | sed -E 's/ZYNVS_CALL |\(//g' | sort -u)
exported=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort -u)
n=$(printf '%s\n' "$declared" | grep -c .)
if [ "$n" -ne "$count" ]; then echo "header declares $n functions, expected $count"; exit 1; fi
if [ "$declared" != "$exported" ]; then
  echo "exported symbols differ from the header:"
  diff <(printf '%s\n' "$declared") <(printf '%s\n' "$exported") || true
  exit 1
fi
echo "$n exports, nothing else visible"
