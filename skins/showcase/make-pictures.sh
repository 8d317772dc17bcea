#!/usr/bin/env bash
# Draws the showcase skin's background with ImageMagick; run it from
# anywhere to re-make it. The lamp, exit-button and counter strips are the
# demo skin's (skins/demo/make-pictures.sh, make-counter-strip.py), copied.
set -euo pipefail
cd "$(dirname "$0")"
convert +antialias -size 1024x600 gradient:'#242c38'-'#0b0f14' \
  -fill none -stroke '#3b4656' -strokewidth 1 \
  -draw 'line 16,52 1008,52' -draw 'line 16,356 1008,356' -draw 'line 16,528 1008,528' \
  -draw 'roundrectangle 318,60 706,348 10,10' \
  -stroke none -fill '#8b98a9' -font Liberation-Sans-Bold -pointsize 22 -draw "text 24,36 'VELQ'" \
  -fill '#5f6b7a' -font Liberation-Sans -pointsize 13 -draw "text 90,36 'showcase - every skin class'" \
  -depth 8 PNG24:back.png
cp ../demo/exit.bmp ../demo/shift.bmp ../demo/counter.bmp .
