#!/usr/bin/env bash
# skinrender renders what the author last wrote: skin.cfg when it is newer
# than skin.bin, or when there is no skin.bin, saying so on stderr; a
# current skin.bin is read silently.
# Usage: skinrender_text_test.sh SKINCONV SKINRENDER
set -u
skinconv=$1
skinrender=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
fail() { echo "FAIL: $*"; exit 1; }
mkdir -p Skin/s
skin() { printf 'object S: TSkinForm\n  BorderStyle = bsNone\n  ClientHeight = 10\n  ClientWidth = 10\n  Color = %s\nend\n' "$1"; }
pixel() { convert "$1" -format "%[fx:int(255*p{5,5}.r)],%[fx:int(255*p{5,5}.g)],%[fx:int(255*p{5,5}.b)]" info:; }
skin clBlue > Skin/s/skin.cfg
"$skinconv" to-bin Skin/s/skin.cfg Skin/s/skin.bin || fail "skinconv"
"$skinrender" --skin s --out a.png 2>err.txt || fail "render: $(cat err.txt)"
[ "$(pixel a.png)" = "0,0,255" ] || fail "the current binary: $(pixel a.png)"
[ -s err.txt ] && fail "a current skin.bin gave a message: $(cat err.txt)"
# Edited after the conversion.
skin clRed > Skin/s/skin.cfg
touch -d '+1 minute' Skin/s/skin.cfg
"$skinrender" --skin s --out b.png 2>err.txt || fail "render: $(cat err.txt)"
[ "$(pixel b.png)" = "255,0,0" ] || fail "the edited text was not rendered: $(pixel b.png)"
grep -qxF "skinrender: reading Skin/s/skin.cfg (newer than skin.bin)" err.txt || fail "message: $(cat err.txt)"
# No binary at all.
rm Skin/s/skin.bin
"$skinrender" --skin s --out c.png 2>err.txt || fail "render: $(cat err.txt)"
[ "$(pixel c.png)" = "255,0,0" ] || fail "the text alone was not rendered: $(pixel c.png)"
grep -qxF "skinrender: reading Skin/s/skin.cfg (there is no skin.bin)" err.txt || fail "message: $(cat err.txt)"
echo "ok: skinrender renders the newest form of the skin"
