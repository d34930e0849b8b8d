#!/usr/bin/env bash
# Builds everything and runs the whole test suite: the engine suite under AddressSanitizer
# and UndefinedBehaviorSanitizer, a fixed-seed fuzzing run of the document readers, then
# every test (engine, application, command-line and window tests; window tests start
# their own Xvfb when no display is set).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD"

# The model's randomized and memory tests must also hold with every access checked.
cmake -S . -B "$BUILD-asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLUMIN_SANITIZE=ON -DVELLUMIN_BENCH=OFF
cmake --build "$BUILD-asan" --target engine_tests
ASAN_OPTIONS=detect_leaks=1 "$BUILD-asan/bin/engine_tests" --gtest_brief=1

# The document readers face hostile files: fuzz them under the sanitizers, from a fixed
# seed so every run of the suite tries the same inputs (tools/fuzz.sh alone explores).
FUZZ_RUNS=${FUZZ_RUNS:-40000} bash tools/fuzz.sh

ctest --test-dir "$BUILD" --output-on-failure -j2
