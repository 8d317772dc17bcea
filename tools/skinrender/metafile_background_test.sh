#!/usr/bin/env bash
# Metafile backgrounds through skinrender: one skin whose background is an
# .emf at its own size, one whose background is a .wmf of half the size
# stretched over the window. mfsamples writes both (the dashboard
# background sample: navy ground, two black gauge rings, a red band at the
# bottom, a yellow logo at the top left); the rendered PNG must show those
# colours where they were drawn.
# Usage: metafile_background_test.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd) || { echo "FAIL: no build directory" >&2; exit 1; }
fail() { echo "FAIL: $*" >&2; exit 1; }
command -v convert >/dev/null || fail "ImageMagick's convert is missing (scripts/setup-deps installs it)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# render NAME EXT PICTURE_W PICTURE_H STRETCH
render() {
  local name=$1 ext=$2 pw=$3 ph=$4 stretch=$5
  mkdir -p "$work/Skin/$name"
  "$build/tools/mfsamples/mfsamples" background "$ext" "$pw" "$ph" "$work/Skin/$name/back.$ext" ||
    fail "mfsamples could not write the $ext background"
  cat >"$work/Skin/$name/skin.cfg" <<EOF
object MetafileDash: TSkinForm
  BorderStyle = bsNone
  ClientHeight = 400
  ClientWidth = 640
  Color = clWhite
  OldCreateOrder = False
  OnCreate = FormCreate
  object Background: TSkinBackground
    Left = 0
    Top = 0
    Width = 640
    Height = 400
    Stretch = $stretch
    BackgroundFile = '$name/back.$ext'
  end
end
EOF
  "$build/tools/skinconv/skinconv" to-bin "$work/Skin/$name/skin.cfg" "$work/Skin/$name/skin.bin" >/dev/null ||
    fail "skinconv rejected the $ext skin"
  (cd "$work" && "$build/tools/skinrender/skinrender" --skin "$name" --out "$work/$name.png") ||
    fail "skinrender could not draw the $ext skin"
}

# expect PNG X Y RRGGBB
expect() {
  local got
  got=$(convert "$1" -format '%[hex:p{'"$2,$3"'}]' info: 2>/dev/null | cut -c1-6)
  [ "$got" = "$4" ] || fail "$(basename "$1") at ($2,$3): $got, want $4"
}

render emfskin emf 640 400 False
png=$work/emfskin.png
expect "$png" 160 200 000000   # inside the left ring
expect "$png" 480 200 000000   # inside the right ring
expect "$png" 325 210 000080   # between the rings
expect "$png" 320 380 FF0000   # the band
expect "$png" 40 40 FFFF00     # the logo

render wmfskin wmf 320 200 True
png=$work/wmfskin.png
expect "$png" 160 200 000000
expect "$png" 480 200 000000
expect "$png" 330 220 000080
expect "$png" 320 370 FF0000
expect "$png" 80 80 FFFF00
expect "$png" 12 200 000080    # left of the left ring: the picture covers the window

echo "ok: .emf and .wmf backgrounds drawn where they were drawn"
