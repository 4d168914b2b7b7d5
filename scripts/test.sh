#!/usr/bin/env bash
# Installs what is missing, builds and runs every test. Exits non-zero on any
# failure. BUILD_DIR, BUILD_TYPE and SANITIZE=1 choose the build.
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
