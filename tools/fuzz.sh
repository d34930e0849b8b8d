#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UBSan in their own
# build folder and runs each on a fresh seed corpus, either for a bounded time with a
# random seed (exploring) or for a fixed number of runs from a fixed seed (the test
# suite's run, which gives the same inputs every time so it cannot pass one day and
# fail the next).
#   tools/fuzz.sh                 every target, 60 s each
#   FUZZ_SECONDS=300 tools/fuzz.sh art_fuzzer
#   FUZZ_RUNS=20000 tools/fuzz.sh (seed 1)
# Crashing inputs land in build-fuzz/findings/<target>/; each one found becomes a
# fixture in tests/fixtures/bad/ with the result it must give.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${FUZZ_BUILD:-build-fuzz}
SECONDS_EACH=${FUZZ_SECONDS:-60}
RUNS_EACH=${FUZZ_RUNS:-}
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
  # A fixed-seed run starts from the seeds alone; exploring goes on from what earlier
  # runs found.
  [ -z "$RUNS_EACH" ] || rm -rf "$BUILD/work/$target"
  mkdir -p "$findings" "$BUILD/work/$target"
  cp "$seeds"/* "$BUILD/work/$target/"
  if [ -n "$RUNS_EACH" ]; then
    runs=$RUNS_EACH
    # The container reader alone is a thousand times cheaper an input than a canvas load.
    [ "$target" != art_fuzzer ] || runs=$((RUNS_EACH * 20))
    budget=(-seed=1 -runs="$runs")
    echo "== $target for $runs runs from seed 1"
  else
    budget=(-max_total_time="$SECONDS_EACH")
    echo "== $target for ${SECONDS_EACH}s"
  fi
  # Mesa keeps some allocations for the life of the process: no leak reports.
  if ! ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 \
      "$BUILD/bin/$target" "${budget[@]}" -rss_limit_mb=2048 -malloc_limit_mb=512 \
      -timeout=30 -artifact_prefix="$findings/" "$BUILD/work/$target" "$seeds"; then
    status=1
    echo "!! $target found a failing input; see $findings"
  fi
done
exit $status
