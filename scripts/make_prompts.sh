#!/usr/bin/env bash
# Speaks the station's five voice prompts of off-screen mode into WAV files
# (22.05 kHz, mono, 16 bit) with espeak-ng and sox:
#   bash scripts/make_prompts.sh DIR
# writes audio_initial.wav, audio_give.wav, audio_return.wav,
# audio_login_first.wav and audio_error.wav into DIR, the names the station
# looks for in its working directory ([audio] in vesk_station.conf).
# VOICE (default en) and SPEED (words per minute, default 160) choose the
# speech.
set -euo pipefail

dir=${1:?usage: make_prompts.sh DIR}
voice=${VOICE:-en}
speed=${SPEED:-160}
for tool in espeak-ng sox; do
  command -v "$tool" >/dev/null || { echo "make_prompts.sh needs $tool (bash scripts/setup.sh)" >&2; exit 1; }
done
mkdir -p "$dir"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

speak() {
  local file=$1 text=$2
  espeak-ng -v "$voice" -s "$speed" -w "$tmp/speech.wav" "$text"
  # Level the loudness and leave a little silence at both ends, so that no
  # player cuts off the first or last sound.
  sox "$tmp/speech.wav" -r 22050 -c 1 -b 16 "$tmp/$file" norm -3 pad 0.1 0.3
  mv "$tmp/$file" "$dir/$file"
}

speak audio_initial.wav "Hello. Show your card again to take a device, or scan the device you bring back."
speak audio_give.wav "Please take the device from the open cell, and close the door."
speak audio_return.wav "Please put the device into the open cell, and close the door."
speak audio_login_first.wav "Please show your card or code first."
speak audio_error.wav "Sorry, that did not work. Please try again, or ask for help."
