#!/usr/bin/env bash
# Builds everything with clang under AddressSanitizer and UndefinedBehaviorSanitizer, runs the
# whole test suite in that build, then runs each fuzz target for FUZZ_SECONDS (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${SAN_BUILD_DIR:-build-san}
FUZZ_SECONDS=${FUZZ_SECONDS:-60}
CORPUS=${KX4_CORPUS_DIR:-$(cd .. && pwd)/shared/corpus}

# Warnings stay warnings here: the gcc build of scripts/test.sh is the one CI holds to -Werror.
CC=clang-14 CXX=clang++-14 cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKX4_SANITIZE=ON -DKX4_FUZZ=ON -DKX4_CORPUS_DIR="$CORPUS"
cmake --build "$BUILD_DIR" -j"$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/sanitizers/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$BUILD_DIR" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 900)

seeds="$BUILD_DIR/fuzz-seeds"
rm -rf "$seeds"
python3 tests/fuzz/make_seeds.py "$CORPUS" "$seeds"
for target in Paradox DBase Ascii Sql WholeNumber; do
  binary="$BUILD_DIR/fuzz/fuzz_$target"
  [ -x "$binary" ] || continue
  work="$BUILD_DIR/fuzz-work/$target"
  mkdir -p "$work"
  echo "== fuzz_$target for ${FUZZ_SECONDS}s"
  "$binary" -max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$work/" "$work" "$seeds/$target" \
    tests/fuzz/regressions 2>&1 | grep -E "stat::number_of_executed_units|ERROR|SUMMARY|Done" || true
  if ls "$work"/crash-* "$work"/timeout-* "$work"/oom-* >/dev/null 2>&1; then
    echo "fuzz_$target found failing inputs:"; ls "$work"/crash-* "$work"/timeout-* "$work"/oom-* 2>/dev/null
    exit 1
  fi
done
