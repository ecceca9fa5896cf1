#!/usr/bin/env python3
"""Musical noise: counts the isolated spectral peaks in a stretch of noise.

A denoiser that lets single time-frequency cells of the noise through leaves
short warbling tones on an otherwise even floor. This counts the cells of a
256-point spectrogram (Hann window, hop 128) that lie more than 10 dB above
the median of their neighbourhood (5 frames by 7 bins), over a stretch where
only noise is heard (by default 0.3 to 2.0 s: the quality benchmark's corpus
starts with 2 s of noise, and the first 0.3 s is left to the noise
tracker's start). The outermost 3 bins are left out. A broadband noise
passed unchanged scores a few tens; an even floor with isolated tones,
hundreds.

    bench/musical_noise.py FILE.wav... [--start S] [--end S]

With quality_bench.py --work DIR, the outputs of the first system's noisy
conditions are DIR/out{1,2,3,4,10,11,12,13,14,18,19,20,21}.wav.
"""
import argparse
import array
import cmath
import math
import sys
import wave

SIZE, HOP = 256, 128
MARGIN_DB = 10.0
FRAMES, BINS = 5, 7  # the neighbourhood
EDGE = 3


def fft(a):
    n = len(a)
    if n == 1:
        return a
    even, odd = fft(a[0::2]), fft(a[1::2])
    t = [cmath.exp(-2j * math.pi * k / n) * odd[k] for k in range(n // 2)]
    return [even[k] + t[k] for k in range(n // 2)] + [even[k] - t[k] for k in range(n // 2)]


def read_mono(path):
    with wave.open(path) as w:
        if w.getsampwidth() != 2 or w.getnchannels() != 1:
            sys.exit(f"musical_noise: {path}: only 16-bit mono WAV files are read")
        return array.array("h", w.readframes(w.getnframes())), w.getframerate()


def isolated_peaks(samples, rate, start, end):
    x = samples[int(start * rate):int(end * rate)]
    window = [0.5 - 0.5 * math.cos(2 * math.pi * i / SIZE) for i in range(SIZE)]
    cells = []
    for i in range(0, len(x) - SIZE, HOP):
        X = fft([complex(x[i + j] * window[j]) for j in range(SIZE)])
        cells.append([10 * math.log10(abs(X[k]) ** 2 + 1e-3) for k in range(EDGE, SIZE // 2 - EDGE)])
    count = 0
    for t, row in enumerate(cells):
        frames = cells[max(0, t - FRAMES // 2):t + FRAMES // 2 + 1]
        for f, cell in enumerate(row):
            lo, hi = max(0, f - BINS // 2), f + BINS // 2 + 1
            near = sorted(v for r in frames for v in r[lo:hi])
            count += cell > near[len(near) // 2] + MARGIN_DB
    return count


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("files", nargs="+", metavar="FILE.wav")
    parser.add_argument("--start", type=float, default=0.3, help="seconds (default 0.3)")
    parser.add_argument("--end", type=float, default=2.0, help="seconds (default 2.0)")
    args = parser.parse_args()
    total = 0
    for path in args.files:
        samples, rate = read_mono(path)
        n = isolated_peaks(samples, rate, args.start, args.end)
        total += n
        print(f"{path}: {n}")
    if len(args.files) > 1:
        print(f"total: {total}")


if __name__ == "__main__":
    main()
