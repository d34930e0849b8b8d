# Shared steps of the window tests: a private home, starting the program, finding
# its windows, screenshots, and the window manager's close request.
set -euo pipefail
PROGRAM=$1
TOOLS=$2
WORK=$(mktemp -d /tmp/vellumin-window-XXXXXX)
export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/config XDG_STATE_HOME=$WORK/state XDG_DOCUMENTS_DIR=$WORK/documents
export XDG_RUNTIME_DIR=$WORK/runtime
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
APP_PID=""
cleanup() {
  [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; [ -f "$WORK/app.log" ] && sed 's/^/  app: /' "$WORK/app.log" >&2; exit 1; }

start_program() {
  "$PROGRAM" "$@" >"$WORK/app.log" 2>&1 &
  APP_PID=$!
}

# Waits up to 30 s for a window whose name matches exactly; prints its id.
wait_for_window() {
  local name=$1 id
  for _ in $(seq 1 300); do
    id=$(xdotool search --name "^${name}\$" 2>/dev/null | head -n 1 || true)
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    kill -0 "$APP_PID" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# Waits up to 30 s for the program to end and sets EXIT_CODE (call it directly, not in
# $(...): only this shell can wait for its child).
wait_for_exit() {
  for _ in $(seq 1 300); do
    if ! kill -0 "$APP_PID" 2>/dev/null; then
      set +e; wait "$APP_PID"; EXIT_CODE=$?; set -e
      APP_PID=""
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# The colour of one pixel of a window as "r,g,b" (0-255).
pixel_of() {
  local id=$1 x=$2 y=$3
  import -window "$id" "$WORK/shot.png"
  convert "$WORK/shot.png" -format "%[fx:int(255*p{$x,$y}.r)],%[fx:int(255*p{$x,$y}.g)],%[fx:int(255*p{$x,$y}.b)]" info:
}

wm_close() { "$TOOLS/send_wm_close" "$1"; }

# Darkest grey level (0-255) inside a rectangle of a window: strokes show as dark.
darkest_in() {
  local id=$1 x=$2 y=$3 w=$4 h=$5
  import -window "$id" "$WORK/shot.png"
  convert "$WORK/shot.png" -crop "${w}x${h}+${x}+${y}" +repage -colorspace gray -format "%[fx:int(255*minima)]" info:
}

# Drags with the left button from (x1,y1) to (x2,y2) in steps, as a hand would.
drag() {
  local id=$1 x1=$2 y1=$3 x2=$4 y2=$5 steps=${6:-20} i
  xdotool mousemove --window "$id" "$x1" "$y1" mousedown 1
  for i in $(seq 1 "$steps"); do
    xdotool mousemove --window "$id" $((x1 + (x2 - x1) * i / steps)) $((y1 + (y2 - y1) * i / steps))
    sleep 0.01
  done
  xdotool mouseup 1
}
