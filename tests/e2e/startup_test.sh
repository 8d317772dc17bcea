#!/usr/bin/env bash
# End-to-end: the launch guard, a missing skin, and a skin window with its
# position, size, frameless border and colour key, on a real X server.
# Usage (under xvfb-run): startup_test.sh BUILD_DIR
set -u
build=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
skinconv=$build/tools/skinconv/skinconv
enter_workdir "$build" startup

launch_message="Cette application ne peut être lancée qu'à partir du VELQ. L'application va se terminer."

# 1. Wrong argument counts: the French message box, then the program ends.
for args in "" "one two" "EMPTY"; do
  if [ "$args" = "EMPTY" ]; then "$velq" "" 2>err.txt & else "$velq" $args 2>err.txt & fi
  pid=$!
  wait_for window_by_class TMessageForm || fail "no launch message box for [$args]"
  [ "$(xdotool getwindowname "$(window_by_class TMessageForm)")" = SkinVELQ ] || fail "the box is not captioned SkinVELQ"
  grep -qF "$launch_message" err.txt || fail "launch message text for [$args]: $(cat err.txt)"
  dismiss_box "$(window_by_class TMessageForm)"
  wait_for bash -c "! kill -0 $pid" || fail "program still running after the launch message [$args]"
  [ -e Skin ] && [ -z "$(ls -A Skin)" ] || fail "something appeared under Skin/"
  echo "ok: launch guard [$args]"
done

# 2. A missing skin: about 2 s later an error box names the file; the
#    program keeps running without a window of the skin.
start=$(date +%s%N)
"$velq" nosuch 2>err.txt &
pid=$!
wait_for grep -q "Impossible d'ouvrir" err.txt || fail "no error for a missing skin: $(cat err.txt)"
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$elapsed" -ge 1800 ] || fail "error came after ${elapsed} ms, expected about 2000"
grep -qF 'SkinVELQ: Impossible d'"'"'ouvrir le fichier "Skin/nosuch/skin.bin". No such file or directory.' err.txt ||
  fail "error text: $(cat err.txt)"
wait_for window_by_class TMessageForm || fail "no error box for a missing skin"
dismiss_box "$(window_by_class TMessageForm)"
wait_for bash -c "! xdotool search --onlyvisible --classname TMessageForm" || fail "the error box stays"
kill -0 $pid || fail "program ended after a missing skin"
window_by_class TSkinForm >/dev/null && fail "a skin window appeared for a missing skin"
kill $pid; wait $pid 2>/dev/null
echo "ok: missing skin reported after ${elapsed} ms, program kept running"

# 3. A real skin: frameless window at Left/Top with its client size; the
#    colour-key corner shows what lies beneath and lets clicks through.
mkdir -p Skin/plain
convert -size 200x100 xc:'#336699' -fill '#ff00ff' -draw 'rectangle 0,0 39,19' Skin/plain/back.png
cat > plain.cfg <<'CFG'
object Plain: TSkinForm
  Left = 150
  Top = 120
  BorderStyle = bsNone
  ClientHeight = 100
  ClientWidth = 200
  TransparentColor = True
  TransparentColorValue = clFuchsia
  OldCreateOrder = False
  OnCreate = FormCreate
  OnClose = FormClose
  object Back: TSkinBackground
    Width = 200
    Height = 100
    BackgroundFile = 'plain/back.png'
  end
end
CFG
"$skinconv" to-bin plain.cfg Skin/plain/skin.bin || fail "skinconv"
# Its text form edited after the conversion: the start warns in the log.
cp plain.cfg Skin/plain/skin.cfg
touch -d '+1 minute' Skin/plain/skin.cfg
"$velq" plain 2>err.txt &
pid=$!
# No host has created the shared block: the creation handler reports
# "Error", and once the box is closed the window is shown all the same.
wait_for window_by_class TMessageForm || fail "no error box without a host: $(cat err.txt)"
grep -qxF "SkinVELQ: warning: Skin/plain/skin.bin is older than Skin/plain/skin.cfg (convert it: skinconv to-bin)" \
  err.txt || fail "no warning of a stale skin.bin: $(cat err.txt)"
grep -qxF "SkinVELQ: Error." err.txt || fail "the missing block's message: $(cat err.txt)"
dismiss_box "$(window_by_class TMessageForm)"
wait_for window_by_class TSkinForm || fail "no skin window: $(cat err.txt)"
win=$(window_by_class TSkinForm)
sleep 0.5
geometry=$(xdotool getwindowgeometry "$win")
echo "$geometry" | grep -q "Position: 150,120" || fail "position: $geometry"
echo "$geometry" | grep -q "Geometry: 200x100" || fail "size: $geometry"
import -window root shot.png
[ "$(pixel 250 200 shot.png)" = "51,102,153" ] || fail "background pixel $(pixel 250 200 shot.png)"
[ "$(pixel 160 130 shot.png)" = "0,0,0" ] || fail "colour-key pixel not cut out: $(pixel 160 130 shot.png)"
# (Retried: the pointer's window can lag a moment behind a shape update.)
wait_for pointer_on 250 200 "$win" || fail "the window does not take the mouse where it is drawn"
wait_for pointer_off 160 130 "$win" || fail "a colour-key pixel takes the mouse"
xdotool windowclose "$win" 2>/dev/null || xdotool key --window "$win" alt+F4
wait_for bash -c "! kill -0 $pid" || fail "closing the window (OnClose = FormClose) did not end the program"
echo "ok: skin window placed, sized, frameless, colour-keyed; close ends the program"
