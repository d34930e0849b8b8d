#!/usr/bin/env bash
# On a GL without the required features the program stops with the OpenGL message.
source "$(dirname "$0")/common.sh"

check_refusal() {
  start_program
  box=$(wait_for_window "Error Message") || fail "no 'Error Message' box ($*)"
  import -window "$box" "$WORK/box.png"
  xdotool windowfocus --sync "$box"
  xdotool key Return
  wait_for_exit || fail "the program kept running after the box ($*)"
  [ "$EXIT_CODE" -eq 0 ] || fail "exit code $EXIT_CODE ($*)"
  grep -q "insufficient OpenGL support" "$WORK/app.log" || fail "the message was not the OpenGL one ($*)"
}

MESA_EXTENSION_OVERRIDE="-GL_ARB_texture_non_power_of_two" check_refusal "no NPOT textures"
MESA_EXTENSION_OVERRIDE="-GL_ARB_fragment_shader" check_refusal "no fragment shaders"
MESA_GL_VERSION_OVERRIDE=1.4 check_refusal "OpenGL 1.4"
echo "PASS"
