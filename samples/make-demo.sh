#!/usr/bin/env bash
# Makes the demonstration recordings: speech with receiver noise and a steady
# 5000 Hz heterodyne whistle (demo-noisy.wav), and the clean speech it was made
# from (demo-clean.flac). Deterministic: sox runs with its fixed random seed.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

text="This is a test of the noise filter. The station is calling on the forty meter band.
Signal report five by seven, with some fading and a strong whistle on the frequency.
Please repeat your call sign slowly. Thank you for the contact, and seventy three.
The weather here is clear and cold, with a light wind from the north."

espeak-ng -v en-us -s 150 -a 120 -w "$tmp/speech.wav" "$text"
# 11025 Hz mono 16-bit, padded with a little silence at both ends.
sox -R "$tmp/speech.wav" -r 11025 -c 1 -b 16 "$tmp/speech11k.wav" pad 0.5 0.5 norm -3
duration=$(soxi -D "$tmp/speech11k.wav")

# Receiver noise: band-limited pink noise; the whistle: a steady 5000 Hz tone.
sox -R -n -r 11025 -c 1 -b 16 "$tmp/noise.wav" synth "$duration" pinknoise \
  sinc 150-4500 vol 0.12
sox -R -n -r 11025 -c 1 -b 16 "$tmp/whistle.wav" synth "$duration" sine 5000 vol 0.08
sox -R -m -v 0.8 "$tmp/speech11k.wav" "$tmp/noise.wav" "$tmp/whistle.wav" \
  -r 11025 -c 1 -b 16 demo-noisy.wav
sox -R "$tmp/speech11k.wav" -b 16 demo-clean.flac
echo "made demo-noisy.wav and demo-clean.flac ($(printf '%.1f' "$duration") s)"
