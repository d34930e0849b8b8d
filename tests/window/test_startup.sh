#!/usr/bin/env bash
# A new user starts the program: one window titled "Vellumin-Free - Untitled" with a
# white canvas; closing it through the window manager ends the program with code 0.
source "$(dirname "$0")/common.sh"

start_program
window=$(wait_for_window "Vellumin-Free - Untitled") || fail "no window titled 'Vellumin-Free - Untitled'"
sleep 1
geometry=$(xdotool getwindowgeometry "$window")
echo "$geometry"
width=$(xwininfo -id "$window" | awk '/Width:/ {print $2}')
height=$(xwininfo -id "$window" | awk '/Height:/ {print $2}')
[ "$width" -gt 100 ] && [ "$height" -gt 100 ] || fail "window too small: ${width}x${height}"
# The menu strip takes the top rows; the canvas is everything below it.
for point in "$((width / 2)) $((height / 2))" "10 60" "$((width - 10)) $((height - 10))"; do
  colour=$(pixel_of "$window" $point)
  [ "$colour" = "255,255,255" ] || fail "canvas at ($point) is $colour, not white"
done
[ "$(xdotool search --name '^Vellumin-Free' | wc -l)" -eq 1 ] || fail "more than one program window"

wm_close "$window"
wait_for_exit || fail "the program did not end after the close request"
[ "$EXIT_CODE" -eq 0 ] || fail "exit code $EXIT_CODE after closing"
echo "PASS"
