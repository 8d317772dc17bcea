#!/usr/bin/env bash
# End-to-end: skinhost launches the dashboard on a skin with a background
# picture; the window shows the picture where the skin puts it, exactly as
# skinrender draws the same skin off-screen; killing the host or closing the
# window ends both programs and removes the shared block.
# Usage (under xvfb-run): live_test.sh BUILD_DIR
set -u
build=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
enter_workdir "$build" live

mkdir -p Skin/live
convert -size 160x90 xc:'#204060' -fill '#e0c040' -draw 'rectangle 10,10 49,39' -fill '#40c080' -draw 'circle 110,45 110,75' Skin/live/back.png
cat > live.cfg <<'CFG'
object Live: TSkinForm
  Left = 100
  Top = 80
  BorderStyle = bsNone
  ClientHeight = 120
  ClientWidth = 200
  Color = clMaroon
  OldCreateOrder = False
  OnCreate = FormCreate
  OnClose = FormClose
  object Back: TSkinBackground
    Left = 20
    Top = 15
    Width = 160
    Height = 90
    BackgroundFile = 'live/back.png'
  end
end
CFG
"$build/tools/skinconv/skinconv" to-bin live.cfg Skin/live/skin.bin || fail "skinconv"

# 1. Launched by the host: the window shows the skin; the host's death ends it.
"$build/tools/skinhost/skinhost" --skin live --rate 50 --launch "$velq" 2>host.txt &
host=$!
wait_for window_by_class TSkinForm || fail "no skin window: $(cat host.txt)"
sleep 0.5
[ -e "$block" ] || fail "the host's block is missing"
import -window root screen.png
convert screen.png -crop 200x120+100+80 +repage window.png
[ "$(pixel 50 40 window.png)" = "224,192,64" ] || fail "the picture is not where the skin puts it: $(pixel 50 40 window.png)"
[ "$(pixel 5 5 window.png)" = "128,0,0" ] || fail "the form colour around the picture: $(pixel 5 5 window.png)"
"$build/tools/skinrender/skinrender" --skin live --out render.png || fail "skinrender failed"
differing=$(compare -metric AE window.png render.png null: 2>&1 || true)
[ "$differing" = "0" ] || fail "skinrender and the screen differ in $differing pixels"
kill -TERM $host
wait_for bash -c "! kill -0 $host" || fail "the host did not end"
wait_for bash -c "! xdotool search --onlyvisible --classname TSkinForm" || fail "the dashboard outlived its host"
[ ! -e "$block" ] || fail "the host left its shared block behind"
grep -q "SkinVELQ: " host.txt && fail "unexpected error: $(cat host.txt)"
echo "ok: host-launched window matches skinrender; killing the host ends both"

# 2. Closing the window ends the dashboard, and with it the host.
"$build/tools/skinhost/skinhost" --skin live --rate 50 --launch "$velq" 2>host.txt &
host=$!
wait_for window_by_class TSkinForm || fail "no skin window the second time"
sleep 0.3
xdotool windowclose "$(window_by_class TSkinForm)"
wait_for bash -c "! kill -0 $host" || fail "the host still runs after the window was closed"
[ ! -e "$block" ] || fail "the shared block is left behind"
echo "ok: closing the window ends the dashboard and the host"
