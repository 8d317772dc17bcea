#!/usr/bin/env bash
# End-to-end: a live skin with an exit button, fed by skinhost. A press on
# a hole of the transparent button's glyph and a press dragged off it end
# nothing; a click on the glyph ends SkinVELQ with status 0, while the host
# keeps running and its shared block stays in place.
# Usage (under xvfb-run): exit_button_test.sh BUILD_DIR
set -u
build=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
enter_workdir "$build" exit

# Three 32 x 32 images (normal red, hovered lime, pressed navy), each with
# its left 8 columns in fuchsia, the button's colour: holes in its hit mask.
mkdir -p Skin/exit
convert -size 96x32 xc:'#ff0000' -fill '#00ff00' -draw 'rectangle 32,0 63,31' \
  -fill '#000080' -draw 'rectangle 64,0 95,31' -fill '#ff00ff' \
  -draw 'rectangle 0,0 7,31' -draw 'rectangle 32,0 39,31' -draw 'rectangle 64,0 71,31' \
  -type TrueColor BMP3:Skin/exit/exit.bmp
cat > exit.cfg <<'CFG'
object Exit: TSkinForm
  Left = 100
  Top = 80
  BorderStyle = bsNone
  ClientHeight = 120
  ClientWidth = 200
  Color = clMaroon
  OldCreateOrder = False
  OnCreate = FormCreate
  OnClose = FormClose
  object Reading: TSkinLabel
    Left = 10
    Top = 20
    Width = 100
    Height = 25
    AnalogSensor = ia1
    LabelType = _sensor
  end
  object Quit: TSkinExitButton
    Left = 140
    Top = 20
    Width = 50
    Height = 50
    Color = clFuchsia
    NumGlyphs = 3
    Transparent = True
    GlyphsFile = 'exit/exit.bmp'
    OnClick = SkinExitButtonClick
  end
end
CFG
"$build/tools/skinconv/skinconv" to-bin exit.cfg Skin/exit/skin.bin || fail "skinconv"

# The host alone: it owns the block; the dashboard is started separately so
# that its exit status can be read.
"$build/tools/skinhost/skinhost" --skin exit --rate 20 --set ia1=42 2>host.txt &
host=$!
wait_for test -e "$block" || fail "the host made no block: $(cat host.txt)"
"$velq" exit 2>velq.txt &
velq_pid=$!
wait_for window_by_class TSkinForm || fail "no skin window: $(cat velq.txt)"
sleep 0.5

# The glyph's image, 32 x 32, centred in the 50 x 50 button at (240, 100).
cx=265; cy=125        # the image's centre: opaque
hx=251; hy=125        # in its left columns: a hole
screen_pixel() { import -window root screen.png && pixel "$1" "$2" screen.png; }
shows() { [ "$(screen_pixel $cx $cy)" = "$1" ]; }
shows "255,0,0" || fail "the exit button's normal image: $(screen_pixel $cx $cy)"

# Hovering shows image 1 (a repaint can lag the pointer: retry).
xdotool mousemove $cx $cy
wait_for shows "0,255,0" || fail "no hovered image: $(screen_pixel $cx $cy)"

# A press on a hole, and a press dragged off the glyph before its release.
xdotool mousemove $hx $hy click 1
xdotool mousemove $cx $cy mousedown 1 mousemove 150 200 mouseup 1
sleep 0.5
kill -0 $velq_pid || fail "the dashboard ended without a completed click: $(cat velq.txt)"

# A click on the glyph ends the dashboard with status 0.
xdotool mousemove $cx $cy click 1
wait_for bash -c "! kill -0 $velq_pid" || fail "the exit button did not end the dashboard"
wait $velq_pid
status=$?
[ "$status" -eq 0 ] || fail "SkinVELQ ended with status $status: $(cat velq.txt)"
grep -q "SkinVELQ: " velq.txt && fail "unexpected error: $(cat velq.txt)"
# Nothing the host owns went with it.
kill -0 $host || fail "the host ended with the dashboard"
[ -e "$block" ] || fail "the dashboard removed the host's shared block"
echo "ok: the exit button ends the dashboard with status 0 and leaves the host's block"

kill -TERM $host
wait_for bash -c "! kill -0 $host" || fail "the host did not end"
[ ! -e "$block" ] || fail "the host left its block behind"
