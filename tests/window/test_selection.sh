#!/usr/bin/env bash
# Selection, transform, image import and pins on the real window: two strokes, the
# marquee round one of them, the selection lifted and dragged by its move handle,
# committed, undone in one step; a PNG imported through the Qt open dialog lands in
# the middle at its own size; two pins, and the keys that go back and forth between
# them. Read back from screenshots (kept in $VELLUMIN_SHOTS when that is set).
source "$(dirname "$0")/common.sh"

# The commands with no default key get one for this run.
cat >"$WORK/bindings.txt" <<'EOF'
bind M hotkeyMarquee
bind T menuTransformSelection
bind P hotkeyCreatePin
EOF
export VELLUMIN_STARTUP_SCRIPT=$WORK/bindings.txt
convert -size 200x100 xc:'#2040c0' "$WORK/blue.png"

shot() {
  sleep 0.6
  import -window "$window" "$WORK/$1.png"
  if [ -n "${VELLUMIN_SHOTS:-}" ]; then mkdir -p "$VELLUMIN_SHOTS" && cp "$WORK/$1.png" "$VELLUMIN_SHOTS/"; fi
}
# The darkest grey (0-255) in the w x h box at (x, y) of a screenshot.
darkest() { convert "$WORK/$1.png" -crop "$4x$5+$2+$3" -colorspace gray -format "%[fx:int(255*minima)]" info:; }
brightest() { convert "$WORK/$1.png" -crop "$4x$5+$2+$3" -colorspace gray -format "%[fx:int(255*maxima)]" info:; }
ink_at() { [ "$(darkest "$1" $(($2 - 10)) $(($3 - 10)) 20 20)" -lt 110 ]; }
blank_at() { [ "$(darkest "$1" $(($2 - 10)) $(($3 - 10)) 20 20)" -gt 240 ]; }
# A drag on the program's window (common.sh), then a moment for the frame.
drag_on() { drag "$window" "$@" 10; sleep 0.2; }

start_program
window=$(wait_for_window "Vellumin-Free - Untitled") || fail "no window"
sleep 1
xdotool windowfocus --sync "$window" 2>/dev/null || true
width=$(xwininfo -id "$window" | awk '/Width:/ {print $2}')
height=$(xwininfo -id "$window" | awk '/Height:/ {print $2}')
# The canvas lies below the menu strip: the rows at the right end that are not white.
import -window "$window" "$WORK/start.png"
strip=$(convert "$WORK/start.png" -crop "1x80+$((width - 4))+0" +repage -depth 8 txt:- |
  awk -F'[ ,:]+' 'NR > 1 && /#FFFFFF/ { print $2; exit }')
[ -n "$strip" ] || strip=0
centre_x=$((width / 2))
centre_y=$((strip + (height - strip) / 2))  # the canvas centre, in window rows
xdotool mousemove --window "$window" 400 400
xdotool key 0  # full opacity
drag_on 150 150 300 150
drag_on 150 400 300 400
shot strokes
ink_at strokes 225 150 || fail "the first stroke is not drawn"
ink_at strokes 225 400 || fail "the second stroke is not drawn"

# The marquee round the first stroke shows as a dashed outline just outside it.
xdotool key m
drag_on 110 110 340 190
shot marquee
[ "$(darkest marquee 109 120 1 60)" -lt 60 ] && [ "$(brightest marquee 109 120 1 60)" -gt 200 ] ||
  fail "no dashed marquee edge at x=109"
blank_at marquee 225 250 || fail "the marquee draws inside"

# Lifted, dragged by its move handle 300 right and 100 down, committed outside.
xdotool key t
drag_on 225 150 525 250
xdotool mousemove --window "$window" $((width - 60)) $((height - 60)) click 1
shot moved
ink_at moved 525 250 || fail "the selection did not move with its handle"
blank_at moved 225 150 || fail "the lifted region is still at its old place"
ink_at moved 225 400 || fail "the other stroke moved too"

# One undo brings the region back.
xdotool key ctrl+z
shot undone
ink_at undone 225 150 || fail "undo did not bring the region back"
blank_at undone 525 250 || fail "undo left the moved copy"

# Import: the dialog takes the typed path; the image lands in the middle at its size.
xdotool key ctrl+i
dialog=$(wait_for_window "Open Image") || fail "no 'Open Image' dialog"
sleep 0.5
xdotool windowfocus --sync "$dialog" 2>/dev/null || true
xdotool type --delay 20 "$WORK/blue.png"
xdotool key Return
sleep 1
xdotool windowfocus --sync "$window" 2>/dev/null || true
shot imported
centre=$(pixel_of "$window" $centre_x $centre_y)
[ "$centre" != "255,255,255" ] || fail "nothing in the middle after the import"
blue=$(convert "$WORK/imported.png" -crop "1x1+$centre_x+$centre_y" -format "%[fx:int(255*b)]" info:)
red=$(convert "$WORK/imported.png" -crop "1x1+$centre_x+$centre_y" -format "%[fx:int(255*r)]" info:)
[ "$blue" -gt 150 ] && [ "$red" -lt 80 ] || fail "the middle is not the blue image ($centre)"
for inside in "$((centre_x - 95)) $centre_y" "$((centre_x + 95)) $((centre_y - 45))"; do
  [ "$(pixel_of "$window" $inside)" = "$centre" ] || fail "the image does not reach ($inside)"
done
for outside in "$((centre_x - 106)) $centre_y" "$centre_x $((centre_y + 56))"; do
  [ "$(pixel_of "$window" $outside)" != "$centre" ] || fail "the image is larger than 200 x 100 at ($outside)"
done
xdotool mousemove --window "$window" 60 $((height - 60)) click 1  # placed

# Two pins with a pan between them; J and L go back and forth.
xdotool key p
shot pin1
xdotool key h
drag_on 600 300 450 200
xdotool key b p
shot pin2
cmp -s "$WORK/pin1.png" "$WORK/pin2.png" && fail "the pan did not move the view"
xdotool key j
shot back1
xdotool key l
shot back2
differ() { compare -metric AE -fuzz 5% "$WORK/$1.png" "$WORK/$2.png" null: 2>&1 || true; }
[ "$(differ pin1 back1)" -lt 50 ] || fail "J did not return to the first pin ($(differ pin1 back1) pixels differ)"
[ "$(differ pin2 back2)" -lt 50 ] || fail "L did not return to the second pin ($(differ pin2 back2) pixels differ)"

wm_close "$window"
dialog=$(wait_for_window "Save Changes") || fail "no 'Save Changes' question"
xdotool key --window "$dialog" n
wait_for_exit || fail "the program did not end after No"
[ "$EXIT_CODE" -eq 0 ] || fail "exit code $EXIT_CODE"
echo "PASS"
