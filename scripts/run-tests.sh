#!/usr/bin/env bash
# Sets up everything and runs every test: the check of the source tree's
# layers, the normal build with all unit and
# integration tests and the checks of its Debian package and desktop files, a
# sanitizer build (ASan+UBSan), a ThreadSanitizer build of the threaded code,
# and each fuzz target for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

JOBS="${JOBS:-$(nproc)}"
FUZZ_SECONDS="${FUZZ_SECONDS:-60}"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
LOG_DIR="$(mktemp -d)"
trap 'rm -rf "$LOG_DIR"' EXIT
PASSED=0

# run_ctest NAME ARGS...: ctest with the summary kept for the final count.
run_ctest() {
  local name="$1"; shift
  ctest "$@" 2>&1 | tee "$LOG_DIR/$name.log"
  local status="${PIPESTATUS[0]}"
  [ "$status" -eq 0 ] || exit "$status"
  local n
  n="$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$LOG_DIR/$name.log" | tail -1)"
  PASSED=$((PASSED + ${n:-0}))
}

echo "== the layers of the source tree"
python3 scripts/check-layers.py
PASSED=$((PASSED + 1))

echo "== build and test (RelWithDebInfo)"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j "$JOBS"
run_ctest release --test-dir build/release --output-on-failure -j "$JOBS"

echo "== install, Debian package and desktop files (from the release build)"
bash scripts/check-package.sh build/release 2>&1 | tee "$LOG_DIR/package.log" || exit 1
PASSED=$((PASSED + $(sed -n 's/^packaging: \([0-9]*\) passed, 0 failed$/\1/p' "$LOG_DIR/package.log")))

echo "== build and test with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPLINTH_SANITIZE=address,undefined \
  -DPLINTH_BENCH=OFF
cmake --build build/asan -j "$JOBS"
ASAN_OPTIONS=detect_leaks=1 run_ctest asan --test-dir build/asan --output-on-failure -j "$JOBS"

echo "== build and test the threaded code with ThreadSanitizer"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPLINTH_SANITIZE=thread \
  -DPLINTH_BENCH=OFF -DPLINTH_GUI=OFF
cmake --build build/tsan -j "$JOBS"
TSAN_OPTIONS=halt_on_error=1 run_ctest tsan --test-dir build/tsan --output-on-failure -j "$JOBS" -L threads

echo "== fuzz targets, ${FUZZ_SECONDS} s each"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPLINTH_FUZZ=ON -DPLINTH_GUI=OFF -DPLINTH_TESTS=OFF -DPLINTH_BENCH=OFF
cmake --build build/fuzz -j "$JOBS" --target plinth_fuzzers
bash fuzz/run-all.sh build/fuzz "$FUZZ_SECONDS"
PASSED=$((PASSED + $(ls build/fuzz/fuzz/fuzz_* | grep -vc '\.log$')))

echo "== every test, sanitizer run and fuzz target passed"
echo "all: $PASSED passed, 0 failed"
