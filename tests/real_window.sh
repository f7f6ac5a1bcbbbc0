#!/usr/bin/env bash
# Starts Korvanith in a real window on a private X server and uses it as a
# person would: open two pictures through the "&Open..." buttons' dialogs,
# press "Transform..." in each mode, compare the painted result panes with the
# command-line tool's pixels; open a pair of odd sizes, see the refusal, crop
# it through a pane's context menu and transform it; quit with "E&xit".
# Usage: real_window.sh KORVANITH KORVANITH_CLI
set -euo pipefail
korvanith=$1
cli=$2
work=$(mktemp -d)
app_pid=""
xvfb_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "real_window: $*" >&2
  [ -s "$work/app.log" ] && sed 's/^/  korvanith: /' "$work/app.log" >&2
  exit 1
}

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"
export QT_QPA_PLATFORM=xcb
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"

# Two 256x256 pictures: a colour gradient with a disc, and a ring of squares.
convert -size 256x256 gradient:navy-orange -fill white -draw "circle 100,120 100,60" "$work/left.png"
convert -size 256x256 xc:black -fill gray70 -draw "rectangle 40,40 120,120" \
  -fill gray30 -draw "rectangle 140,150 220,230" "$work/right.png"

"$korvanith" >"$work/app.log" 2>&1 &
app_pid=$!
window=$(timeout 60 xdotool search --sync --name '^Korvanith v\.0\.5 beta$' | head -n 1) ||
  fail "the window did not appear"
sleep 0.5

# Clicks at a point of the window's client area.
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep 0.3; }

# Presses an "&Open..." button and types the path into the dialog that opens.
# A slow start (an instrumented build) may swallow a click: it is repeated.
open_through_dialog() {
  local dialog=""
  for _ in 1 2 3; do
    click "$1" "$2"
    dialog=$(timeout 15 xdotool search --sync --onlyvisible --name '^Open$' | head -n 1) && break
  done
  [ -n "$dialog" ] || fail "no file dialog after clicking at $1,$2"
  xdotool windowfocus --sync "$dialog" 2>/dev/null || true
  sleep 0.3
  xdotool type --delay 5 "$3"
  xdotool key Return
  for _ in $(seq 200); do
    xdotool search --onlyvisible --name '^Open$' >/dev/null 2>&1 || { sleep 0.5; return 0; }
    sleep 0.1
  done
  fail "the file dialog did not close"
}

# Captures the window and checks one result pane against a picture.
check_pane() {
  import -window "$window" "$work/shot.png"
  convert "$work/shot.png" -crop "256x256+$1+304" +repage -colorspace gray -depth 8 "$work/pane.pgm"
  convert "$2" -colorspace gray -depth 8 "$work/expected.pgm"
  differ=$(compare -metric AE "$work/pane.pgm" "$work/expected.pgm" null: 2>&1) || true
  [ "$differ" = "0" ] || fail "pane at x=$1 differs from $(basename "$2") in $differ pixels"
}

open_through_dialog 117 276 "$work/left.png"
open_through_dialog 557 276 "$work/right.png"

"$cli" --mode normal "$work/left.png" "$work/right.png" "$work/n1.png" "$work/n2.png"
"$cli" --mode swap "$work/left.png" "$work/right.png" "$work/s1.png" "$work/s2.png"

click 349 188  # Transform...
sleep 1
check_pane 0 "$work/n1.png"
check_pane 432 "$work/n2.png"

# "Swap phase" is the lower item of the radio group.
click 300 360
click 349 188
sleep 1
check_pane 0 "$work/s1.png"
check_pane 432 "$work/s2.png"
[ -n "${KORVANITH_SCREENSHOT:-}" ] && cp "$work/shot.png" "$KORVANITH_SCREENSHOT"

# A pair of odd sizes, like two photographs: refused, then cut to their
# centre 256x256 from the left result pane's menu (its first item).
convert -size 300x280 gradient:darkgreen-khaki -fill black -draw "circle 150,140 150,80" "$work/photo-left.png"
convert -size 270x300 xc:gray20 -fill gray80 -draw "rectangle 60,70 210,230" "$work/photo-right.png"
open_through_dialog 117 276 "$work/photo-left.png"
open_through_dialog 557 276 "$work/photo-right.png"
click 349 188  # Transform...: refused
box=$(timeout 15 xdotool search --sync --onlyvisible --name '^Korvanith$' | head -n 1) ||
  fail "no message refusing the pair of odd sizes"
xdotool windowfocus --sync "$box" 2>/dev/null || true
xdotool key Return
sleep 0.5
xdotool mousemove --window "$window" 128 420 click 3
sleep 0.8
xdotool key Down Return
sleep 0.8
"$cli" --mode swap --crop "$work/photo-left.png" "$work/photo-right.png" "$work/c1.png" "$work/c2.png"
click 349 188  # Transform...
sleep 1
check_pane 0 "$work/c1.png"
check_pane 432 "$work/c2.png"

click 349 532  # E&xit
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "the program did not end after E&xit"
status=0
wait "$app_pid" || status=$?
app_pid=""
[ "$status" -eq 0 ] || fail "exit status $status"
echo "real_window: opened, transformed in both modes, cropped an odd pair through the menu, panes match the engine, exit status 0"
