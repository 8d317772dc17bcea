# Shared helpers of the end-to-end tests: run under xvfb-run (a private X
# display), with the build directory's programs.
set -u

# In sanitizer builds the programs run with the X11, fontconfig and SDL
# libraries, whose one-time allocations at exit are not ours to fix: leak
# reports are switched off here (the unit tests keep them on).
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

fail() { echo "FAIL: $*" >&2; exit 1; }

# wait_for COMMAND... : retries for up to 60 s until the command succeeds
# (a sanitizer build on a busy machine has once taken more than 30 s to show
# a window).
wait_for() {
  local i
  for i in $(seq 1 600); do
    if "$@" >/dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  return 1
}

# The first window with this WM_CLASS class name, or nothing.
window_by_class() { local w; w=$(xdotool search --onlyvisible --classname "$1" 2>/dev/null | head -n 1); [ -n "$w" ] && echo "$w"; }
window_by_name() { local w; w=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1); [ -n "$w" ] && echo "$w"; }

# pixel X Y FILE.png -> "R,G,B"
pixel() {
  convert "$3" -format "%[fx:int(255*p{$1,$2}.r)],%[fx:int(255*p{$1,$2}.g)],%[fx:int(255*p{$1,$2}.b)]" info:
}

# A fresh working directory holding Skin/<name>/ for each skins/<name> given.
make_workdir() {
  local dir
  dir=$(mktemp -d)
  mkdir -p "$dir/Skin"
  echo "$dir"
}

# enter_workdir BUILD_DIR NAME : the usual start of a test. Sets velq (the
# dashboard), work (a fresh directory holding Skin/, removed at exit with
# every background job ended), a channel of the test's own
# (VELQ_CHANNEL_SUFFIX) and block (its shared-memory file), then enters work.
enter_workdir() {
  velq=$1/dashboard/SkinVELQ
  work=$(make_workdir)
  trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
  cd "$work" || fail "no work directory"
  export VELQ_CHANNEL_SUFFIX="-e2e-$2-$$"
  block="/dev/shm/Mem_Map_File-{1F881A4D-B28F-48ad-9175-5394579326EA}$VELQ_CHANNEL_SUFFIX"
}

# Presses the OK button of the message box window $1 (the button sits
# centred near the bottom edge).
dismiss_box() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 27)) click 1
}

# window_under X Y: moves the pointer there and prints the window under it.
window_under() {
  local X Y SCREEN WINDOW
  eval "$(xdotool mousemove "$1" "$2" getmouselocation --shell)"
  echo "$WINDOW"
}
pointer_on() { [ "$(window_under "$1" "$2")" = "$3" ]; }
pointer_off() { [ "$(window_under "$1" "$2")" != "$3" ]; }
