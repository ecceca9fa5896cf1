#!/usr/bin/env python3
"""tarnix-live in real time through a private PulseAudio with null sinks:
the CPU it uses at 44100 Hz in simulated stereo with the default options over
60 s (the target is under 1% of one core), its underruns and overruns, and
the end-to-end delay at 11025 and 44100 Hz against the pipeline's own.

Usage: bench/live_bench.py [build/release]  (needs pulseaudio and sox)"""

import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e", "live"))
import live_test  # noqa: E402

import pulse_loop  # noqa: E402

BUILD = sys.argv[1] if len(sys.argv) > 1 else os.path.join(SOURCE, "build", "release")
LIVE = os.path.join(BUILD, "src", "app", "live", "tarnix-live")
live_test.LIVE = LIVE
DEMO = os.path.join(SOURCE, "samples", "demo-noisy.wav")


def summary(out):
    m = re.search(r"([\d.]+) s of audio .* in ([\d.]+) s; underruns (\d+), overruns (\d+); "
                  r"CPU ([\d.]+)%", out)
    if not m:
        sys.exit("no summary from tarnix-live:\n" + out)
    return m


def cpu_at_44100_stereo(seconds=60):
    with pulse_loop.PulseLoop(44100, channels=2) as loop:
        r = subprocess.run([LIVE, "--rate", "44100", "--stereo", "--seconds", str(seconds)],
                           env=loop.env, capture_output=True, text=True, timeout=seconds + 60)
    m = summary(r.stdout)
    print("44100 Hz simulated stereo, %s s: CPU %s%% of one core, underruns %s, overruns %s, "
          "%.4f of real time" % (m.group(1), m.group(5), m.group(3), m.group(4),
                                  float(m.group(2)) / float(m.group(1))))


def delay_at(rate, seconds=12):
    with tempfile.TemporaryDirectory() as d:
        demo = os.path.join(d, "demo.wav")
        subprocess.run(["sox", DEMO, "-r", str(rate), demo, "trim", "0", str(seconds - 2)],
                       check=True)
        with pulse_loop.PulseLoop(rate) as loop:
            (rc, out, err), captured, played = live_test.live_through_loop(
                loop, rate, ["--no-mixer", "--rate", str(rate)], seconds, demo)
    delay, corr = live_test.measure_delay(captured, played, rate)
    m = summary(out)
    print("%d Hz: delay %.1f ms (the pipeline's %.1f ms, correlation %.2f), underruns %s, "
          "overruns %s" % (rate, 1000 * delay, 1000 * live_test.design_delay(rate), corr,
                           m.group(3), m.group(4)))


if __name__ == "__main__":
    delay_at(11025)
    delay_at(44100)
    cpu_at_44100_stereo()
