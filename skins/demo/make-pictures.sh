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
# exit.bmp: the exit button's three images side by side (normal, hovered,
# pressed), 28 x 28 each, a round button on fuchsia, which the button's
# Color names as the colour around its shape.
button() { # fill ring cross
  convert +antialias -size 28x28 xc:'#ff00ff' -fill "$1" -stroke "$2" -strokewidth 2 \
    -draw 'circle 13.5,13.5 13.5,2' -stroke "$3" -strokewidth 3 \
    -draw 'line 9,9 18,18' -draw 'line 18,9 9,18' "$4"
}
tmp=$(mktemp -d)
button '#2b3340' '#5f6b7a' '#8b98a9' "$tmp/normal.png"
button '#3b4656' '#c0392b' '#e74c3c' "$tmp/hover.png"
button '#7f1d1d' '#e74c3c' '#ffffff' "$tmp/pressed.png"
convert "$tmp/normal.png" "$tmp/hover.png" "$tmp/pressed.png" +append -type TrueColor BMP3:exit.bmp
rm -rf "$tmp"
# shift.bmp: a three-state lamp (off, amber, red), 16 x 16 each, on fuchsia,
# which the lamps' Color names as the colour left out.
lamp() { # fill ring
  convert +antialias -size 16x16 xc:'#ff00ff' -fill "$1" -stroke "$2" -strokewidth 1 \
    -draw 'circle 7.5,7.5 7.5,1' "$3"
}
tmp=$(mktemp -d)
lamp '#2a2a2a' '#4a4a4a' "$tmp/off.png"
lamp '#ffb000' '#ffe080' "$tmp/amber.png"
lamp '#ff2020' '#ffa0a0' "$tmp/red.png"
convert "$tmp/off.png" "$tmp/amber.png" "$tmp/red.png" +append -type TrueColor BMP3:shift.bmp
rm -rf "$tmp"
