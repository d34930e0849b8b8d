#!/usr/bin/env bash
# Builds everything and runs the whole test suite (engine, application and window tests;
# window tests start their own Xvfb when no display is set), then the engine suite once
# more under AddressSanitizer and UndefinedBehaviorSanitizer, and fuzzes the document readers.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD"
ctest --test-dir "$BUILD" --output-on-failure -j2

# The model's randomized and memory tests must also hold with every access checked.
cmake -S . -B "$BUILD-asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLUMIN_SANITIZE=ON -DVELLUMIN_BENCH=OFF
cmake --build "$BUILD-asan" --target engine_tests
ASAN_OPTIONS=detect_leaks=1 "$BUILD-asan/bin/engine_tests" --gtest_brief=1

# The document readers face hostile files: fuzz them for a bounded time under the sanitizers.
FUZZ_SECONDS=${FUZZ_SECONDS:-30} bash tools/fuzz.sh
