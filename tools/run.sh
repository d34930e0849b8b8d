#!/usr/bin/env bash
# Installs what is missing, builds, and starts Vellumin (any arguments go to the program).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target vellumin
exec build/bin/vellumin "$@"
