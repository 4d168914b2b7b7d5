#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: each case under ctest,
# then each test program whole. Exits non-zero on any failure. BUILD_DIR,
# BUILD_TYPE and SANITIZE=1 choose the build.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

# QtTest's checks report to QtTest's logger and pass silently under GoogleTest.
if grep -rnE '\b(QCOMPARE|QVERIFY|QTRY_[A-Z_]+)\b' tests/; then
  echo "tests/ uses QtTest checks; wait inside a GoogleTest assertion instead" >&2
  exit 1
fi

build_dir=${BUILD_DIR:-build}
build_type=${BUILD_TYPE:-RelWithDebInfo}
sanitize=${SANITIZE:-0}
extra=()
[ "$sanitize" = 1 ] && extra+=(-DSTATION_SANITIZE=ON)
[ "${CI:-}" = true ] && extra+=(-DCMAKE_COMPILE_WARNING_AS_ERROR=ON)

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" "${extra[@]}"
cmake --build "$build_dir" --parallel "$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
ctest --test-dir "$build_dir" --output-on-failure --parallel "$(nproc)" --timeout 120

# ctest gives every case a process of its own, which hides a case that leans
# on a fresh process. Each test program runs once more as one process, with no
# filter; several at a time, like ctest.
whole_dir="$build_dir/whole-runs"
rm -rf "$whole_dir"
mkdir -p "$whole_dir"
run_whole() {
  local program=$1
  local log="$whole_dir/$(basename "$program").log"
  if timeout 900 "$program" >"$log" 2>&1; then
    echo "Whole run passed: $(basename "$program")"
    return 0
  fi
  echo "Whole run FAILED: $(basename "$program") (all of it in $log)"
  grep -E -A12 '^(.*: Failure|\[  FAILED  \])' "$log" | head -n 80 || true
  # A sanitizer's report starts well before the end of the log.
  grep -E -A40 '^(==[0-9]+==ERROR|WARNING: ThreadSanitizer|.*runtime error:)' "$log" | head -n 120 || true
  tail -n 15 "$log"
  return 1
}
export -f run_whole
export whole_dir
xargs -a "$build_dir/test_programs.txt" -P "$(nproc)" -I{} bash -c 'run_whole "$1"' _ {}
