#!/usr/bin/env bash
# End-to-end: the colour key follows what the widgets draw, frame after
# frame, and a colour-keyed window keeps the frame of its border style.
#   1. A keyed skin whose progress bar shows the key colour where it is
#      empty: as the host's value goes from 100 to 0, the screen and the
#      pointer show the window where the bar is filled and what lies beneath
#      where it is empty, on both sides of the bar's starting position.
#   2. A keyed skin with BorderStyle = bsSingle asks the window manager for
#      its frame (_MOTIF_WM_HINTS decorations); a bsNone one asks for none.
# Usage (under xvfb-run): colorkey_test.sh BUILD_DIR
set -u
build=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
enter_workdir "$build" key

# keyed_skin NAME BORDER: a 200 x 60 window at (100, 80), all key colour
# but a bar (lime where filled, key colour where empty, half full until
# the first frame) bound to ia1.
keyed_skin() {
  mkdir -p "Skin/$1"
  cat > "$1.cfg" <<CFG
object Keyed: TSkinForm
  Left = 100
  Top = 80
  BorderStyle = $2
  ClientHeight = 60
  ClientWidth = 200
  Color = clFuchsia
  TransparentColor = True
  TransparentColorValue = clFuchsia
  OldCreateOrder = False
  OnCreate = FormCreate
  OnClose = FormClose
  object Bar: TSkinProgressBar
    Left = 0
    Top = 0
    Width = 200
    Height = 30
    Color = clFuchsia
    Smooth = True
    StartColor = clLime
    EndColor = clLime
    Position = 50
    AnalogSensor = ia1
  end
end
CFG
  "$build/tools/skinconv/skinconv" to-bin "$1.cfg" "Skin/$1/skin.bin" || fail "skinconv $1"
}

# screen_is X Y R,G,B: the screen pixel at (X, Y) has that colour.
screen_is() {
  import -window root shot.png && [ "$(pixel "$1" "$2" shot.png)" = "$3" ]
}

# The hints as xprop prints them, e.g. "0x2, 0x0, 0x1, 0x0, 0x0".
motif_hints() { xprop -id "$1" _MOTIF_WM_HINTS | sed -n 's/^_MOTIF_WM_HINTS([^)]*) = //p'; }

# 1. Two values, one after the other, in the same run: 100 (filled) for
#    ten seconds of frames, then 0 (empty).
keyed_skin keyed bsNone
{ echo ia1; for i in $(seq 200); do echo 100; done; for i in $(seq 600); do echo 0; done; } > values.csv
"$build/tools/skinhost/skinhost" --skin keyed --rate 20 --csv values.csv --launch "$velq" 2>host.txt &
host=$!
wait_for window_by_class TSkinForm || fail "no keyed window: $(cat host.txt)"
win=$(window_by_class TSkinForm)
# Inside the bar at x = 50 (filled from the start) and x = 150 (filled only
# from the first frame on); below the bar the form is all key colour.
wait_for screen_is 250 95 0,255,0 || fail "the filled bar at 150 is not shown: $(pixel 250 95 shot.png)"
[ "$(pixel 150 95 shot.png)" = "0,255,0" ] || fail "the filled bar at 50 is not shown: $(pixel 150 95 shot.png)"
[ "$(pixel 250 125 shot.png)" = "0,0,0" ] || fail "the form's key colour is not cut out: $(pixel 250 125 shot.png)"
wait_for pointer_on 250 95 "$win" || fail "the filled bar does not take the mouse"
echo "ok: value 100 shows the bar and takes the mouse where the skin started empty"
wait_for screen_is 250 95 0,0,0 || fail "the emptied bar at 150 is not cut out: $(pixel 250 95 shot.png)"
[ "$(pixel 150 95 shot.png)" = "0,0,0" ] || fail "the emptied bar at 50 is not cut out: $(pixel 150 95 shot.png)"
[ "$(pixel 100 80 shot.png)" != "0,0,0" ] || fail "the bar's frame is gone"
wait_for pointer_off 250 95 "$win" || fail "the emptied bar at 150 takes the mouse"
wait_for pointer_off 150 95 "$win" || fail "the emptied bar at 50 takes the mouse"
wait_for pointer_on 100 80 "$win" || fail "the bar's frame does not take the mouse"
echo "ok: value 0 cuts the bar out where the skin started filled, and lets the mouse through"
hints=$(motif_hints "$win")
[ "$hints" = "0x2, 0x0, 0x0, 0x0, 0x0" ] || fail "a frameless keyed window's hints: '$hints'"
kill $host
wait_for bash -c "! kill -0 $host" || fail "the host did not end"
wait_for bash -c "! xdotool search --onlyvisible --classname TSkinForm" || fail "the dashboard outlived its host"

# 2. The same window with a single border keeps that frame.
keyed_skin framed bsSingle
"$build/tools/skinhost/skinhost" --skin framed --rate 20 --set ia1=100 --launch "$velq" 2>host.txt &
host=$!
wait_for window_by_class TSkinForm || fail "no framed keyed window: $(cat host.txt)"
win=$(window_by_class TSkinForm)
hints=$(motif_hints "$win")
[ "$hints" = "0x2, 0x0, 0x1, 0x0, 0x0" ] || fail "a framed keyed window's hints ask for no frame: '$hints'"
wait_for screen_is 250 95 0,255,0 || fail "the framed window's bar is not shown: $(pixel 250 95 shot.png)"
[ "$(pixel 250 125 shot.png)" = "0,0,0" ] || fail "the framed window's key colour is not cut out"
kill $host
wait_for bash -c "! kill -0 $host" || fail "the host did not end"
grep -q "SkinVELQ: " host.txt && fail "unexpected error: $(cat host.txt)"
echo "ok: a keyed window keeps the frame of its border style"
