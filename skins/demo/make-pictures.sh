#!/usr/bin/env bash
# Draws the demo skin's pictures with ImageMagick; run it from anywhere to
# re-make them. back.png: a rounded dark panel on the colour key (fuchsia),
# so the window takes the panel's shape.
set -euo pipefail
cd "$(dirname "$0")"
convert +antialias -size 640x400 xc:'#ff00ff' \
  \( -size 640x400 gradient:'#2b3340'-'#0d1117' \) \
  \( -size 640x400 xc:none -fill white -draw 'roundrectangle 0,0 639,399 28,28' \) \
  -compose over -composite \
  -fill '#ff00ff' -draw "color 0,0 floodfill" \
  -fill none -stroke '#4a5568' -strokewidth 2 -draw 'roundrectangle 2,2 637,397 26,26' \
  -stroke '#3b4656' -strokewidth 1 -draw 'line 24,300 616,300' \
  -stroke none -fill '#8b98a9' -font Liberation-Sans-Bold -pointsize 18 -draw "text 24,34 'VELQ'" \
  -fill '#5f6b7a' -font Liberation-Sans -pointsize 12 -draw "text 78,34 'demo dashboard'" \
  -depth 8 PNG24:back.png
