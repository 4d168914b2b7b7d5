#!/usr/bin/env bash
# Builds the fuzz targets with clang into build-fuzz/ (the station's
# libraries instrumented for libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 10), starting
# from its corpus in fuzz/corpus/. Inputs found on the way are not kept; an
# input that crashes, hangs or breaks a check is written to fuzz-findings/ and
# makes the script fail.
#   scripts/fuzz.sh [SECONDS] [TARGET...]     e.g. scripts/fuzz.sh 300 state_file
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

seconds=${1:-10}
[ $# -gt 0 ] && shift
all=(config_tree stored_records state_file server_replies qr_login_code lockctl_v1_7 lockctl_v4_0)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")

build_dir=${FUZZ_BUILD_DIR:-build-fuzz}
extra=()
[ "${CI:-}" = true ] && extra+=(-DCMAKE_COMPILE_WARNING_AS_ERROR=ON)
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTATION_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 "${extra[@]}" >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"

findings=$PWD/fuzz-findings
mkdir -p "$findings"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=()
for target in "${targets[@]}"; do
  program=$build_dir/fuzz/fuzz_$target
  if [ ! -x "$program" ]; then
    echo "no fuzz target \"$target\" (targets: ${all[*]})" >&2
    exit 2
  fi
  mkdir -p "$work/$target"
  log=$work/$target.log
  # A leak inside Qt's JSON parser is suppressed (see the file); the stacks
  # behind a leak are then taken whole, through Qt's frames.
  sanitizer=()
  [ "$target" = server_replies ] && sanitizer=(env "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_malloc=0"
    "LSAN_OPTIONS=${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$PWD/fuzz/lsan_qt_json.supp")
  # New inputs go to the scratch directory listed first; the corpus is read only.
  if "${sanitizer[@]}" "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -close_fd_mask=1 \
      -artifact_prefix="$findings/$target-" "$work/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
    echo "fuzz_$target: $(grep -E '^Done [0-9]+ runs' "$log" | tail -1)"
  else
    grep -vE '^#[0-9]+|NEW_FUNC' "$log" | tail -n 40 >&2
    echo "fuzz_$target: FINDING, input kept in $findings/" >&2
    failed+=("$target")
  fi
done
[ ${#failed[@]} -eq 0 ] || { echo "fuzz findings: ${failed[*]}" >&2; exit 1; }
