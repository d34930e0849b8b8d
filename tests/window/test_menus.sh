#!/usr/bin/env bash
# The menu bar of the window: a strip across the top whose four menus open with the
# mouse and the keyboard; Edit > Flip Canvas Horizontally mirrors the drawing; Help >
# Shortcut Keys... shows the shortcut sheet at its picture's size; Window > Activate
# Window Opacity sets the window's opacity hint; a right-click opens the pop-up.
# Set SHOT_DIR to keep the screenshots.
source "$(dirname "$0")/common.sh"
RESOURCES=$(dirname "$PROGRAM")/Application/Resources

keep() { [ -n "${SHOT_DIR:-}" ] && mkdir -p "$SHOT_DIR" && cp "$1" "$SHOT_DIR/$2" || true; }
shot_window() { import -window "$window" "$1"; }
shot_screen() { import -window root "$1"; }

# The strip's height: the rows at the right end of the window that are not canvas white.
strip_height() {
  local shot=$1 x=$(($2 - 4))
  convert "$shot" -crop "1x80+${x}+0" +repage -depth 8 txt:- |
    awk -F'[ ,:]+' 'NR > 1 && /#FFFFFF/ { print $2; exit }'
}

# "left right" of every title in the strip: runs of columns holding dark text.
title_spans() {
  local shot=$1 w=$2 h=$3
  convert "$shot" -crop "${w}x$((h - 6))+0+3" +repage -colorspace Gray -threshold 55% -negate \
    -scale "${w}x1!" -depth 8 txt:- |
    awk -F'[ ,:()]+' 'NR > 1 { if ($4 + 0 > 0) dark[$1] = 1 }
      END { start = -1; gap = 0
        for (x = 0; x < '"$w"'; x++) {
          if (x in dark) { if (start < 0) start = x; last = x; gap = 0 }
          else if (start >= 0 && ++gap > 7) { print start, last; start = -1 } }
        if (start >= 0) print start, last }'
}

# Pixels that differ between two screenshots inside a rectangle of the screen.
changed_pixels() {
  local a=$1 b=$2 geometry=$3
  convert "$a" -crop "$geometry" +repage "$WORK/a.png"
  convert "$b" -crop "$geometry" +repage "$WORK/b.png"
  compare -metric AE "$WORK/a.png" "$WORK/b.png" null: 2>&1 || true
}

# Opens the menu under a title and checks that a drop-down appeared below it.
open_menu_at() {
  local centre=$1 name=$2
  shot_screen "$WORK/closed.png"
  xdotool mousemove $((win_x + centre)) $((win_y + strip / 2)) click 1
  sleep 0.8
  shot_screen "$WORK/open-$name.png"
  local changed
  changed=$(changed_pixels "$WORK/closed.png" "$WORK/open-$name.png" "160x80+$((win_x + centre - 20))+$((win_y + strip + 2))")
  [ "${changed%%.*}" -gt 300 ] || fail "clicking '$name' opened no menu ($changed pixels changed)"
}

close_menu() {
  xdotool key Escape
  sleep 0.5
}

# The cursor the X server shows (the default pen shows a 47-pixel brush outline).
cursor() { sleep 0.3; "$TOOLS/cursor_probe" | cut -d' ' -f1-3; }
BRUSH_CURSOR="47x47 hot 23,23"

start_program
window=$(wait_for_window "Vellumin-Free - Untitled") || fail "no program window"
sleep 1.5
xdotool windowfocus "$window" 2>/dev/null || true
eval "$(xwininfo -id "$window" | awk '/Absolute upper-left X/ {print "win_x=" $4} /Absolute upper-left Y/ {print "win_y=" $4}
  /Width:/ {print "width=" $2} /Height:/ {print "height=" $2}')"

# ---- the strip and its titles -------------------------------------------------------------
shot_window "$WORK/start.png"
keep "$WORK/start.png" start.png
strip=$(strip_height "$WORK/start.png" "$width")
[ -n "$strip" ] && [ "$strip" -ge 16 ] && [ "$strip" -le 48 ] || fail "no menu strip at the top (height '$strip')"
colour=$(pixel_of "$window" $((width - 10)) $((strip / 2)))
[ "$colour" != "255,255,255" ] || fail "the strip is canvas white"
colour=$(pixel_of "$window" $((width / 2)) $((strip + 5)))
[ "$colour" = "255,255,255" ] || fail "the canvas below the strip is $colour"
mapfile -t spans < <(title_spans "$WORK/start.png" "$width" "$strip")
[ "${#spans[@]}" -eq 4 ] || fail "expected 4 menu titles in the strip, found ${#spans[@]}: ${spans[*]}"
centres=()
for span in "${spans[@]}"; do
  read -r left right <<<"$span"
  centres+=($(((left + right) / 2)))
done
echo "strip ${strip}px, titles at ${centres[*]}"

# ---- every menu opens by a click on its title ---------------------------------------------
names=(File Edit Window Help)
for i in 0 1 2 3; do
  open_menu_at "${centres[$i]}" "${names[$i]}"
  [ "$i" -eq 0 ] && keep "$WORK/open-File.png" file-menu.png
  close_menu
done

# ---- the strip shows the arrow, the canvas the tool's cursor -------------------------------
xdotool mousemove $((win_x + width / 2)) $((win_y + height / 2))
[ "$(cursor)" = "$BRUSH_CURSOR" ] || fail "the canvas shows '$(cursor)', not the brush outline"
xdotool mousemove $((win_x + width / 2)) $((win_y + strip / 2))
[ "$(cursor)" != "$BRUSH_CURSOR" ] || fail "the strip shows the brush outline"
xdotool mousemove $((win_x + width / 2)) $((win_y + height / 2))
[ "$(cursor)" = "$BRUSH_CURSOR" ] || fail "back on the canvas the cursor is '$(cursor)'"

# ---- and from the keyboard ----------------------------------------------------------------
shot_screen "$WORK/closed.png"
xdotool key alt+h
sleep 0.8
shot_screen "$WORK/alt-h.png"
changed=$(changed_pixels "$WORK/closed.png" "$WORK/alt-h.png" "160x80+$((win_x + centres[3] - 20))+$((win_y + strip + 2))")
[ "${changed%%.*}" -gt 300 ] || fail "Alt+H opened no Help menu"
close_menu
# Alt was let go while the menu had the keyboard: the colour picker it held ends.
[ "$(cursor)" = "$BRUSH_CURSOR" ] || fail "after Alt+H the canvas shows '$(cursor)', not the brush"
xdotool key F10
sleep 0.8
shot_screen "$WORK/f10.png"
changed=$(changed_pixels "$WORK/closed.png" "$WORK/f10.png" "160x80+$((win_x + centres[0] - 20))+$((win_y + strip + 2))")
[ "${changed%%.*}" -gt 300 ] || fail "F10 opened no File menu"
close_menu

# ---- window opacity through the Window menu -----------------------------------------------
opacity_hint() { xprop -id "$window" _NET_WM_WINDOW_OPACITY 2>/dev/null | awk -F' = ' '/=/ {print $2}'; }
open_menu_at "${centres[2]}" Window
xdotool key Down Return
sleep 0.8
[ "$(opacity_hint)" = "2139062143" ] || fail "Activate Window Opacity set the hint to '$(opacity_hint)', not 0.5"
open_menu_at "${centres[2]}" Window
xdotool key Down Return
sleep 0.8
[ -z "$(opacity_hint)" ] || fail "Deactivate Window Opacity left the hint '$(opacity_hint)'"
# The same with Ctrl+W, and "." steps it up while it is on.
xdotool windowfocus "$window" 2>/dev/null || true
xdotool key ctrl+w
sleep 0.5
xdotool key period
sleep 0.5
[ "$(opacity_hint)" = "2358021260" ] || fail "Ctrl+W and '.' set the hint to '$(opacity_hint)', not 0.55"
xdotool key ctrl+w
sleep 0.5
[ -z "$(opacity_hint)" ] || fail "a second Ctrl+W left the hint '$(opacity_hint)'"

# ---- Edit > Flip Canvas Horizontally mirrors the drawing ----------------------------------
xdotool windowfocus "$window" 2>/dev/null || true
xdotool mousemove $((win_x + width / 2)) $((win_y + height / 2))
xdotool key shift+F6   # developer shortcut: 200 random lines
sleep 1.5
shot_window "$WORK/drawn.png"
keep "$WORK/drawn.png" drawn.png
canvas="${width}x$((height - strip))+0+${strip}"
convert "$WORK/drawn.png" -crop "$canvas" +repage "$WORK/before.png"
[ "$(convert "$WORK/before.png" -format '%[fx:int(1000*mean)]' info:)" -lt 995 ] || fail "the developer shortcut drew nothing"
open_menu_at "${centres[1]}" Edit
# Undo, Redo, Clear Canvas, Reset Canvas View, View All Strokes, Flip Canvas Horizontally
xdotool key Down Down Down Down Down Down Return
sleep 1.5
shot_window "$WORK/flipped.png"
keep "$WORK/flipped.png" flipped.png
convert "$WORK/flipped.png" -crop "$canvas" +repage "$WORK/after.png"
convert "$WORK/before.png" -flop "$WORK/mirror.png"
# compare exits 1 when the images differ at all: only its figure counts here.
to_mirror=$( (compare -metric RMSE "$WORK/after.png" "$WORK/mirror.png" null: 2>&1 || true) | awk '{gsub(/[()]/, "", $2); print int($2 * 1000)}')
to_before=$( (compare -metric RMSE "$WORK/after.png" "$WORK/before.png" null: 2>&1 || true) | awk '{gsub(/[()]/, "", $2); print int($2 * 1000)}')
echo "flip: RMSE to the mirror ${to_mirror}/1000, to the drawing before ${to_before}/1000"
[ "$to_mirror" -lt 30 ] && [ "$to_before" -gt $((to_mirror * 3)) ] || fail "the canvas is not mirrored"

# ---- Help > Shortcut Keys... --------------------------------------------------------------
open_menu_at "${centres[3]}" Help
xdotool key Down Down Down Return   # Vellumin Help..., Vellumin Support Center..., Shortcut Keys...
sheet=$(wait_for_window "Shortcut Keys") || fail "Shortcut Keys... opened no dialog"
sleep 1
import -window "$sheet" "$WORK/sheet.png"
keep "$WORK/sheet.png" shortcut-sheet.png
expected=$(identify -format '%wx%h' "$RESOURCES/qrc/hotkeys_free.png")
got=$(identify -format '%wx%h' "$WORK/sheet.png")
[ "$got" = "$expected" ] || fail "the shortcut sheet is ${got}, its picture ${expected}"
xdotool windowfocus "$sheet" 2>/dev/null || true
xdotool key Escape
for _ in $(seq 1 50); do
  xdotool search --name '^Shortcut Keys$' >/dev/null 2>&1 || break
  sleep 0.1
done
xdotool search --name '^Shortcut Keys$' >/dev/null 2>&1 && fail "Escape did not close the shortcut sheet"

# ---- right-click pop-up ------------------------------------------------------------------
xdotool windowfocus "$window" 2>/dev/null || true
shot_screen "$WORK/closed.png"
xdotool mousemove $((win_x + 300)) $((win_y + 200)) click 3
sleep 0.8
shot_screen "$WORK/popup.png"
keep "$WORK/popup.png" popup.png
changed=$(changed_pixels "$WORK/closed.png" "$WORK/popup.png" "120x90+$((win_x + 302))+$((win_y + 202))")
[ "${changed%%.*}" -gt 300 ] || fail "right-click opened no pop-up"
close_menu

# The program still answers and closes cleanly (the canvas changed: it asks first).
wm_close "$window"
dialog=$(wait_for_window "Save Changes") || fail "no 'Save Changes' question after drawing"
xdotool key --window "$dialog" n
wait_for_exit || fail "the program did not end after the close request"
[ "$EXIT_CODE" -eq 0 ] || fail "exit code $EXIT_CODE after closing"
echo "PASS"
