#!/usr/bin/env bash
# Builds the station and starts it in a fresh working directory with the
# example configuration, against the lock-controller simulator on a
# pseudo-terminal, a bar-code scanner on another and the fake back-end with
# sample users and devices. DEMO_DIR chooses the directory (default demo-run/).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)" --target vesk_station lockctl_sim qr_login_code fake_backend

work=${DEMO_DIR:-$root/demo-run}
rm -rf "$work"
mkdir -p "$work"
cd "$work"

# The simulator reads its commands from a pipe that stays open, so that
#   echo "open 0 1" > demo-run/lockctl.in
# can drive the doors while the station runs.
mkfifo lockctl.in
sleep infinity > lockctl.in &
holder=$!
"$root/build/tools/lockctl_sim/lockctl_sim" --protocol v1.7 --pty < lockctl.in > lockctl.log 2>&1 &
simulator=$!
trap 'kill $simulator $holder 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  grep -q '^device ' lockctl.log 2>/dev/null && break
  sleep 0.1
done
device=$(sed -n 's/^device //p' lockctl.log | head -n 1)
[ -n "$device" ] || { echo "The lock-controller simulator did not start:"; cat lockctl.log; exit 1; }

# The bar-code scanner: a pair of linked pseudo-terminals. The station reads
# scanner.tty; a line written to scanner.in reads as one scanned code, e.g.
#   echo SN-0001 > demo-run/scanner.in
socat pty,raw,echo=0,link="$work/scanner.tty" pty,raw,echo=0,link="$work/scanner.in" 2> socat.log &
scanner=$!
trap 'kill $simulator $holder $scanner 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  [ -e scanner.tty ] && [ -e scanner.in ] && break
  sleep 0.1
done
[ -e scanner.tty ] || { echo "The scanner's pseudo-terminal did not start:"; cat socat.log; exit 1; }
# The back-end: sample users, devices, fault kinds and cells 1 to 4 of point 1.
"$root/build/tools/fake_backend/fake_backend" --port 0 --data "$root/tools/fake_backend/demo" \
  --login station --password secret --point-id 1 > backend.log 2>&1 &
backend=$!
trap 'kill $simulator $holder $scanner $backend 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  grep -q 'base_url = ' backend.log 2>/dev/null && break
  sleep 0.1
done
base_url=$(sed -n 's/.*base_url = \([^ ]*\).*/\1/p' backend.log | head -n 1)
log_url=$(sed -n 's/.*log_url = \([^ ]*\).*/\1/p' backend.log | head -n 1)
[ -n "$base_url" ] || { echo "The fake back-end did not start:"; cat backend.log; exit 1; }

sed -e "s|^address =.*|address = $device|" -e "s|^device = hid|device = $work/scanner.tty|" \
  -e "s|^base_url =.*|base_url = $base_url|" -e "s|^log_url =.*|log_url = $log_url|" \
  -e "s|^support_offscreen =.*|support_offscreen = true|" \
  "$root/scripts/demo/vesk_station.conf" > vesk_station.conf
# The voice prompts of off-screen mode, beside the configuration.
bash "$root/scripts/make_prompts.sh" "$work"
# DEMO_NO_MONITOR=1: a stand-in for xrandr that reports no monitor, so the
# station starts in off-screen mode.
if [ "${DEMO_NO_MONITOR:-0}" = 1 ]; then
  mkdir -p bin
  printf '#!/bin/sh\nprintf "Monitors: 0\\n"\n' > bin/xrandr
  chmod +x bin/xrandr
  export PATH="$work/bin:$PATH"
fi

echo "Working directory: $work (logs in vesk_station_logs/)"
echo "Lock-controller simulator on $device: its log is lockctl.log; drive the doors with"
echo "  echo \"open 0 1\" > $work/lockctl.in     (also: close B L, close all, jam B L)"
echo "Fake back-end at $base_url: its requests are in backend.log"
echo "Bar-code scanner on $work/scanner.tty: scan a code with"
echo "  echo SN-0001 > $work/scanner.in"
echo "and a user's QR login code with"
echo "  $root/build/tools/qr_login_code/qr_login_code aberg any > $work/scanner.in"
echo "Off-screen mode (no monitor): Ctrl+O in the window switches it on and off;"
echo "DEMO_NO_MONITOR=1 starts in it. Then scan the login code twice to take a device,"
echo "or once and then the device's code to bring it back, and listen to the prompts."
# Without a display, run on the offscreen platform so the station still works.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
  echo "No display found: running offscreen; stop it with Ctrl+C."
fi
"$root/build/src/vesk_station"
