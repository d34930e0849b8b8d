#!/usr/bin/env bash
# A new user draws a stroke, undoes it, draws again, saves through the real save
# dialog, quits, and starts the program with the saved file: the stroke is there.
source "$(dirname "$0")/common.sh"
DOC=$WORK/documents/first\ drawing.art
mkdir -p "$WORK/documents"

start_program
window=$(wait_for_window "Vellumin-Free - Untitled") || fail "no window"
sleep 1
xdotool windowfocus --sync "$window"
[ "$(darkest_in "$window" 200 280 400 40)" -gt 240 ] || fail "the canvas is not blank at start"

drag "$window" 220 300 580 300
sleep 0.5
level=$(darkest_in "$window" 200 280 400 40)
[ "$level" -lt 160 ] || fail "no stroke after the drag (darkest $level)"
import -window "$window" "$WORK/stroke.png"

xdotool key ctrl+z
sleep 0.5
level=$(darkest_in "$window" 200 280 400 40)
[ "$level" -gt 240 ] || fail "Ctrl+Z left the stroke (darkest $level)"

drag "$window" 220 400 580 400
sleep 0.5
[ "$(darkest_in "$window" 200 380 400 40)" -lt 160 ] || fail "no stroke after the second drag"

xdotool key ctrl+s
dialog=$(wait_for_window "Save Canvas As") || fail "Ctrl+S showed no save dialog"
sleep 0.5
xdotool windowfocus --sync "$dialog"
xdotool type --delay 5 "$DOC"
xdotool key Return
for _ in $(seq 1 100); do [ -s "$DOC" ] && break; sleep 0.1; done
[ -s "$DOC" ] || fail "nothing was saved at $DOC"
wait_for_window "Vellumin-Free - first drawing.art" >/dev/null || fail "the title does not name the saved file"

xdotool windowfocus --sync "$window"
xdotool key ctrl+q
wait_for_exit || fail "Ctrl+Q did not end the program"
[ "$EXIT_CODE" -eq 0 ] || fail "exit code $EXIT_CODE after Ctrl+Q"

start_program "$DOC"
window=$(wait_for_window "Vellumin-Free - first drawing.art") || fail "the saved file did not open"
sleep 1
[ "$(darkest_in "$window" 200 380 400 40)" -lt 160 ] || fail "the reopened canvas lacks the stroke"
[ "$(darkest_in "$window" 200 280 400 40)" -gt 240 ] || fail "the undone stroke came back"
wm_close "$window"
wait_for_exit || fail "no exit after closing"
echo "PASS"
