#!/usr/bin/env bash
# Fails when a module includes a header of a layer it must not depend on.
# Usage: check_layers.sh <source root>
set -euo pipefail
root="$1"
# folder | include paths it must not use (extended regex); see the modules' READMEs
rules=(
  "linkcore           | ^(zynvs|decodekit|renderkit|playctrl|tools)/"
  "renderkit          | ^(decodekit|playctrl|linkcore)/|^zynvs/(ZynDecodeKit|ZynPlayCtrl|zynvs_records|zynvs_commands)\\.h$"
  "decodekit/platform | ^decodekit/(core|api)/"
  "decodekit/core     | ^decodekit/api/|^playctrl/"
  "playctrl           | ^(decodekit|linkcore|tools)/|^zynvs/ZynDecodeKit\\.h$"
)
status=0
for rule in "${rules[@]}"; do
  dir="$(echo "${rule%%|*}" | xargs)"
  forbidden="$(echo "${rule#*|}" | xargs)"
  while IFS= read -r hit; do
    [ -z "$hit" ] && continue
    file="${hit%%:*}"; rest="${hit#*:}"; line="${rest%%:*}"
    path="$(sed -nE "${line}s/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]([^>\"]+)[>\"].*/\\1/p" "$file")"
    if [ -n "$path" ] && echo "$path" | grep -qE "$forbidden"; then
      echo "${file#"$root"/}:$line: $dir must not include $path"
      status=1
    fi
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include' "$root/$dir" --include='*.h' --include='*.cpp' --include='*.c' || true)
done
[ "$status" -eq 0 ] && echo "layers: every include points downwards"
exit "$status"
