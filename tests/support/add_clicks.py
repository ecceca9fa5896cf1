#!/usr/bin/env python3
"""Adds clicks to a 16-bit mono WAV in place: bursts of uniform random samples,
0.5 to 3 ms long and up to three quarters of full scale, eight a second, from
a fixed seed (the same file every time), for the noise blanker's comparisons.

    add_clicks.py FILE.wav
"""
import array
import random
import sys
import wave

with wave.open(sys.argv[1]) as w:
    params, x = w.getparams(), array.array("h", w.readframes(w.getnframes()))
rng, rate = random.Random(37), params.framerate
for start in range(rate // 16, len(x) - rate // 100, rate // 8):
    amp = rng.uniform(3000, 24000)
    for i in range(start, start + int(rate * rng.uniform(0.0005, 0.003))):
        x[i] = max(-32768, min(32767, int(x[i] + amp * rng.uniform(-1, 1))))
with wave.open(sys.argv[1], "wb") as w:
    w.setparams(params)
    w.writeframes(x.tobytes())
