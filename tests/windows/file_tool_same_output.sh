#!/usr/bin/env bash
# tarnix-file.exe under wine must write exactly the bytes the Linux tarnix-file
# writes, for the demo at every rate and a spread of settings.
# Usage: file_tool_same_output.sh LINUX_TARNIX_FILE WINDOWS_TARNIX_FILE_EXE
set -euo pipefail
linux=$1
windows=$2
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

inputs=("$top/samples/demo-noisy.wav")
for rate in 8000 22050 44100; do
  sox -q "$top/samples/demo-noisy.wav" -r "$rate" "$work/demo-$rate.wav" trim 0 8
  inputs+=("$work/demo-$rate.wav")
done
# With clicks, for the noise blanker.
sox -q "$top/samples/demo-noisy.wav" -r 11025 "$work/clicks-11025.wav" trim 0 8
python3 "$top/tests/support/add_clicks.py" "$work/clicks-11025.wav"
inputs+=("$work/clicks-11025.wav")

settings=(
  ""
  "--stereo"
  "--no-equalizer --noise-floor 30"
  "--prefilter voice --lms --combiner --exponential 0.7"
  "--prefilter music --averaging --noise-floor 150 --heterodyne fast --stereo"
  "--no-expandor --heterodyne slow --band voice-narrow --min-amplitude 50"
  "--enhance"
  "--enhance --expandor --enhance-floor 20 --stereo"
  "--blanker"
  "--blanker --blanker-threshold 3 --enhance --stereo"
)

failed=0
for input in "${inputs[@]}"; do
  for s in "${settings[@]}"; do
    # shellcheck disable=SC2086
    "$linux" -q $s "$input" "$work/linux.wav"
    # shellcheck disable=SC2086
    wine "$windows" -q $s "$input" "$work/windows.wav"
    if cmp -s "$work/linux.wav" "$work/windows.wav"; then
      echo "same: $(basename "$input") $s"
    else
      echo "DIFFERENT: $(basename "$input") $s"
      failed=1
    fi
  done
done

# Raw samples through the standard streams (binary mode on Windows).
sox -q "$work/demo-8000.wav" -t raw "$work/in.raw"
"$linux" -q --raw --rate 8000 - - <"$work/in.raw" >"$work/linux.raw"
cat "$work/in.raw" | wine "$windows" -q --raw --rate 8000 - - | cat >"$work/windows.raw"
if cmp -s "$work/linux.raw" "$work/windows.raw"; then
  echo "same: raw pipe"
else
  echo "DIFFERENT: raw pipe"
  failed=1
fi

# A batch in worker processes; the second run replaces the first's files.
"$linux" -q --output-dir "$work/linux" "${inputs[@]:1}"
wine "$windows" -q --jobs 2 --output-dir "$work/windows" "${inputs[@]:1}"
wine "$windows" -q --jobs 2 --output-dir "$work/windows" "${inputs[@]:1}"
if diff -r "$work/linux" "$work/windows" >/dev/null; then
  echo "same: batch"
else
  echo "DIFFERENT: batch"
  failed=1
fi
exit $failed
