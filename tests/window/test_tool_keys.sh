#!/usr/bin/env bash
# Keys, the wheel and the temporary tools on the real window, read back through the
# cursor the X server shows: the default pen (width 40) shows a 47-pixel brush
# outline with its hot spot in the middle, other tools show other cursors.
source "$(dirname "$0")/common.sh"

cursor() { sleep 0.3; "$TOOLS/cursor_probe" | cut -d' ' -f1-3; }
expect_cursor() {
  local want=$1 what=$2 got
  got=$(cursor)
  [ "$got" = "$want" ] || fail "$what: cursor is '$got', not '$want'"
}
expect_other_cursor() {
  local unwanted=$1 what=$2 got
  got=$(cursor)
  [ "$got" != "$unwanted" ] || fail "$what: cursor is still '$got'"
}

start_program
window=$(wait_for_window "Vellumin-Free - Untitled") || fail "no window"
sleep 1
xdotool mousemove --window "$window" 300 300
expect_cursor "47x47 hot 23,23" "brush at start"
xdotool key z
expect_other_cursor "47x47 hot 23,23" "the zoom tool (Z)"
xdotool key b
expect_cursor "47x47 hot 23,23" "back to the pen (B)"
xdotool key bracketright
expect_cursor "49x49 hot 24,24" "one pixel wider (])"
xdotool keydown space
expect_other_cursor "49x49 hot 24,24" "Space held: temporary pan"
xdotool keyup space
expect_cursor "49x49 hot 24,24" "Space released: back to the brush"
# X gives Ctrl+2 the character of Ctrl+Space; it must not start the temporary zoom.
xdotool key ctrl+2
expect_cursor "49x49 hot 24,24" "Ctrl+2"
xdotool keydown alt
expect_other_cursor "49x49 hot 24,24" "Alt held: colour picker"
xdotool keyup alt
expect_cursor "49x49 hot 24,24" "Alt released"
# Pen scaling on (O), one wheel notch away from the user: the pen grows 1.5 times.
xdotool key o click 4
expect_cursor "69x69 hot 34,34" "pen scaled by one wheel notch"

# A stroke, undo and redo, mirror, reset and fit: the program keeps running.
xdotool mousedown 1 mousemove --window "$window" 350 320 mousemove --window "$window" 400 350 mouseup 1
xdotool key ctrl+z ctrl+shift+z ctrl+f ctrl+r ctrl+shift+r
sleep 0.5
kill -0 "$APP_PID" 2>/dev/null || fail "the program ended"

wm_close "$window"
dialog=$(wait_for_window "Save Changes") || fail "no 'Save Changes' question after drawing"
xdotool key --window "$dialog" n
wait_for_exit || fail "the program did not end after No"
[ "$EXIT_CODE" -eq 0 ] || fail "exit code $EXIT_CODE"
echo "PASS"
