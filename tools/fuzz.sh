#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UBSan in their own
# build folder and runs each for a bounded time on a fresh seed corpus.
#   tools/fuzz.sh                 every target, 60 s each
#   FUZZ_SECONDS=300 tools/fuzz.sh art_fuzzer
# Crashing inputs land in build-fuzz/findings/<target>/; each one found becomes a
# fixture in tests/fixtures/bad/ with the result it must give.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${FUZZ_BUILD:-build-fuzz}
SECONDS_EACH=${FUZZ_SECONDS:-60}
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=(art_fuzzer blob_fuzzer)

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined" \
  -DCMAKE_C_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer" \
  -DVELLUMIN_FUZZ=ON -DVELLUMIN_TESTS=OFF -DVELLUMIN_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j2 --target fuzz_corpus "${TARGETS[@]}"

CORPUS="$BUILD/corpus"
rm -rf "$CORPUS"
mkdir -p "$CORPUS/art" "$CORPUS/blob"
"$BUILD/bin/fuzz_corpus" "$CORPUS"

status=0
for target in "${TARGETS[@]}"; do
  case "$target" in
    art_fuzzer) seeds="$CORPUS/art" ;;
    *) seeds="$CORPUS/blob" ;;
  esac
  findings="$BUILD/findings/$target"
  mkdir -p "$findings" "$BUILD/work/$target"
  cp "$seeds"/* "$BUILD/work/$target/"
  echo "== $target for ${SECONDS_EACH}s"
  # Mesa keeps some allocations for the life of the process: no leak reports.
  if ! ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 \
      "$BUILD/bin/$target" -max_total_time="$SECONDS_EACH" -rss_limit_mb=2048 -malloc_limit_mb=512 \
      -timeout=30 -artifact_prefix="$findings/" "$BUILD/work/$target" "$seeds"; then
    status=1
    echo "!! $target found a failing input; see $findings"
  fi
done
exit $status
