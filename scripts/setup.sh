#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need.
# Idempotent and quiet when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkgconf
  libssl-dev openssl libcurl4-openssl-dev libgtest-dev libgmock-dev libbenchmark-dev
  qtbase5-dev libqt5sql5-sqlite qtmultimedia5-dev libqt5multimedia5-plugins
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  libpcsclite-dev pcscd vsmartcard-vpcd pcsc-tools
  xvfb xauth x11-xserver-utils xdotool socat sqlite3 zbar-tools qrencode libqrencode-dev
  espeak-ng sox
  clang-14 libfuzzer-14-dev libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq -o DPkg::Lock::Timeout=300
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
  -o DPkg::Lock::Timeout=300 "${missing[@]}" >/dev/null
