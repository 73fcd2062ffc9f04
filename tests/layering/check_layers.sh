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
  "configctrl/device  | ^(decodekit|playctrl|linkcore|tools|search)/|^configctrl/(window|control)/"
  "configctrl/window  | ^configctrl/control/(zyn_config_ctrl|registration)\\.h$|^configctrl/control/api/"
  "vendors            | ^(configctrl|search|decodekit|playctrl|linkcore|renderkit|tools)/"
)
status=0
for rule in "${rules[@]}"; do
  dir="${rule%%|*}"; dir="${dir// /}"
  forbidden="${rule#*|}"; forbidden="${forbidden// /}"
  # file:line:included path, one line per include
  hits="$(grep -rnE '^[[:space:]]*#[[:space:]]*include' "$root/$dir" \
            --include='*.h' --include='*.cpp' --include='*.c' |
          sed -nE 's/^([^:]+:[0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^>"]+)[>"].*/\1:\2/p' |
          awk -F: -v re="$forbidden" '$3 ~ re' || true)"
  if [ -n "$hits" ]; then
    echo "$hits" | sed -E "s#^$root/##; s#^([^:]+:[0-9]+):(.*)#\1: $dir must not include \2#"
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "layers: every include points downwards"
exit "$status"
