#!/usr/bin/env bash
# Builds the station and starts it in a fresh working directory with the
# example configuration. DEMO_DIR chooses the directory (default demo-run/).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)" --target vesk_station

work=${DEMO_DIR:-$root/demo-run}
rm -rf "$work"
mkdir -p "$work"
cp "$root/scripts/demo/vesk_station.conf" "$work/"
cd "$work"
echo "Working directory: $work (logs in vesk_station_logs/)"
# Without a display, run on the offscreen platform so the station still works.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
  echo "No display found: running offscreen; stop it with Ctrl+C."
fi
exec "$root/build/src/vesk_station"
