#!/usr/bin/env python3
"""Makes docs/blanker-spectrogram.png and docs/blanker-before-after.ogg: 4 s
of the impulse benchmark's first voice at 11025 Hz in hiss with 8 clicks a
second, as received, after the noise blanker alone and after
tarnix-file --blanker --enhance (spectrograms by sox, stacked by
ImageMagick; the recording is the clicky input, a pause, then the last).

    bench/blanker_picture.py BUILD_DIR [--docs DIR]
"""
import argparse
import math
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import impulse_conditions as ic  # noqa: E402

RATE = 11025
SECONDS = 4


def run(cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build")
    parser.add_argument("--docs", default=os.path.join(os.path.dirname(__file__), "..", "docs"))
    args = parser.parse_args()
    tarnix = os.path.join(args.build, "src/app/file/tarnix-file")
    stage = os.path.join(args.build, "bench/blanker_stage")
    with tempfile.TemporaryDirectory() as work:
        corpus = ic.Corpus(work, ic.read_wav, ic.write_wav)
        speech = corpus.speech(0, *ic.TUNING_VOICES[0], RATE, "t")
        n = len(speech)
        hiss = corpus.hiss(n, RATE, 0)
        scale = math.sqrt(ic._energy(speech) / ic._energy(hiss) / 100.0)
        clicks, _ = ic.burst_clicks(n, RATE, 8, 0.5, 3.0, 1000 * RATE)
        noisy = [a + b * scale + c for a, b, c in zip(speech, hiss, clicks)][:SECONDS * RATE]
        received = os.path.join(work, "received.wav")
        ic.write_wav(received, noisy, RATE)
        alone = os.path.join(work, "alone.wav")
        both = os.path.join(work, "both.wav")
        run([stage, received, alone])
        run([tarnix, "-q", "--blanker", "--enhance", received, both])
        pictures = []
        for path, title in ((received, "Speech in hiss (20 dB) with 8 clicks a second: as received"),
                            (alone, "After the noise blanker alone"),
                            (both, "After tarnix-file --blanker --enhance")):
            png = path[:-4] + ".png"
            run(["sox", "-R", path, "-n", "spectrogram", "-x", "880", "-y", "200", "-t", title, "-o", png])
            pictures.append(png)
        # No dates in the picture and a fixed seed in sox: the same inputs
        # give the same picture.
        run(["convert"] + pictures + ["-append", "-strip", "-define", "png:exclude-chunks=date,time",
                                      os.path.join(args.docs, "blanker-spectrogram.png")])
        pause = os.path.join(work, "pause.wav")
        run(["sox", "-n", "-r", str(RATE), "-b", "16", "-c", "1", pause, "trim", "0", "0.7"])
        run(["sox", "-R", received, pause, both, "-C", "3",
             os.path.join(args.docs, "blanker-before-after.ogg")])


if __name__ == "__main__":
    main()
