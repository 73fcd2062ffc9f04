#!/usr/bin/env bash
# Draws the configuration window's tree icons (16x16 PNG) into
# configctrl/window/res/. Run once when an icon changes; the PNGs are kept in
# the repository and built into the library as Qt resources.
set -euo pipefail
cd "$(dirname "$0")/../configctrl/window/res"
icon() { convert -size 16x16 xc:none "$@" -strip "PNG32:$name"; }

# Basic settings: a device box with a status light.
name=shebei.png icon -fill '#3b6ea5' -stroke '#1f3f66' -draw 'roundrectangle 1,3 14,12 2,2' \
  -fill '#9fd36b' -stroke none -draw 'rectangle 3,9 5,10' -fill '#dfe9f5' -draw 'rectangle 3,5 12,7'
# network settings: a globe.
name=web.png icon -fill '#4d9bd6' -stroke '#1f5f8f' -draw 'circle 7.5,7.5 7.5,1' \
  -fill none -stroke '#e8f3fb' -draw 'ellipse 7.5,7.5 3,6.5 0,360' -draw 'line 1,7.5 14,7.5' \
  -draw 'line 2.5,4.5 12.5,4.5' -draw 'line 2.5,10.5 12.5,10.5'
# Channel parameter: a camera.
name=audio.png icon -fill '#5a5f66' -stroke '#2d3033' -draw 'roundrectangle 1,5 11,13 1,1' \
  -draw 'polygon 11,8 15,5 15,13 11,10' -fill '#8fd0ff' -stroke none -draw 'circle 6,9 6,7'
# Alarm settings: a bell.
name=baojing.png icon -fill '#e0a526' -stroke '#8a5d00' \
  -draw 'path "M 3,12 L 4,6 Q 8,0 12,6 L 13,12 Z"' -draw 'line 2,12 14,12' \
  -fill '#8a5d00' -stroke none -draw 'circle 8,14 8,13'
# Storage settings: a cloud over a disk.
name=clond.png icon -fill '#9ab7d3' -stroke '#48688a' -draw 'circle 5,8 5,5' -draw 'circle 10,7 10,3' \
  -draw 'roundrectangle 2,8 14,12 2,2' -stroke none -draw 'rectangle 3,8 13,11'
# Children: a small round bullet.
name=tree_icon_app_installed.png icon -fill '#5aa84b' -stroke '#2f6b24' -draw 'circle 8,8 8,4' \
  -fill '#d9f2d3' -stroke none -draw 'circle 7,7 7,6'
