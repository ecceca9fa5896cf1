#!/usr/bin/env python3
"""The noise blanker click by click: runs bench/blanker_stage on one impulse
condition of the quality benchmark and lists the clicks that leave the most
power behind, worst first, so that a change to the blanker can be aimed at
what it misses.

    bench/blanker_clicks.py BUILD_DIR [--held-out] [--rate 8000]
        [--condition "8 clicks/s"] [--most 25]

For each click: its share of all the power left, the power left over its own
power (0 dB: untouched, above 0: the repair made it worse), the voice, where
it starts (in samples), its width, and the RMS of the speech around it and of
the click itself.
"""
import argparse
import math
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import impulse_conditions as ic  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build")
    parser.add_argument("--held-out", action="store_true")
    parser.add_argument("--rate", type=int, default=8000)
    parser.add_argument("--condition", default="8 clicks/s")
    parser.add_argument("--most", type=int, default=25)
    args = parser.parse_args()
    stage = os.path.join(args.build, "bench/blanker_stage")
    with tempfile.TemporaryDirectory() as work:
        corpus = ic.Corpus(work, ic.read_wav, ic.write_wav)
        conds = [c for c in ic.make_conditions(corpus, args.held_out)
                 if c[1] == args.rate and c[0].startswith(args.condition)]
        if not conds:
            sys.exit(f"blanker_clicks: no condition {args.condition!r} at {args.rate} Hz")
        rows = []
        for voice, (_, rate, _, noisy, spans, unclicked) in enumerate(conds):
            src, dst = os.path.join(work, "in.wav"), os.path.join(work, "out.wav")
            ic.write_wav(src, noisy, rate)
            subprocess.run([stage, src, dst], check=True, stderr=subprocess.DEVNULL)
            y = ic.read_wav(dst)  # aligned to the input
            left_all = power_all = 0.0
            around = rate // 100
            for a, b in spans:
                left = sum((y[i] - unclicked[i]) ** 2 for i in range(a, b))
                power = sum((noisy[i] - unclicked[i]) ** 2 for i in range(a, b))
                lo, hi = max(0, a - around), min(len(noisy), b + around)
                speech = math.sqrt(sum(unclicked[i] ** 2 for i in range(lo, hi)) / (hi - lo))
                rows.append((left, power, voice, a, b - a, speech, math.sqrt(power / (b - a))))
                left_all += left
                power_all += power
            print(f"voice {voice}: {10 * math.log10(max(left_all, 1e-9) / power_all):.1f} dB of "
                  f"the clicks' power left, {len(spans)} clicks")
    total = sum(r[0] for r in rows) or 1.0
    print("share  left dB  voice   start  width  speech RMS  click RMS")
    for left, power, voice, start, width, speech, click in sorted(rows, reverse=True)[:args.most]:
        print(f"{left / total:5.3f}  {10 * math.log10(max(left, 1e-9) / power):7.1f}  {voice:5d}  "
              f"{start:6d}  {width:5d}  {speech:10.0f}  {click:9.0f}")


if __name__ == "__main__":
    main()
