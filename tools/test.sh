#!/usr/bin/env bash
# Builds everything and runs the whole test suite (engine, application and window tests).
# Window tests start their own Xvfb when no display is set.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
ctest --test-dir "$BUILD" --output-on-failure -j2
