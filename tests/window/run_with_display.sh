#!/usr/bin/env bash
# Runs a window test on the current X display, or on a private Xvfb when there is none.
# usage: run_with_display.sh <test script> <path of the vellumin program> [tool folder]
set -euo pipefail
script=$1; shift
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec bash "$script" "$@"
fi
exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" bash "$script" "$@"
