#!/usr/bin/env python3
"""tarnix-live in real time through a private PulseAudio with null sinks:
the CPU it uses at 44100 Hz in simulated stereo with the default options over
60 s (the target is under 1% of one core), its underruns and overruns, and
the end-to-end delay at 11025 and 44100 Hz against the pipeline's own.

The delay must stay constant: `stalls` stops the program three times for
150 ms (the target is a delay moved by less than 20 ms), `long [MINUTES]`
compares the delay at the start and the end of a long run at 44100 Hz in
simulated stereo (the target is within 20 ms after 10 minutes).

Stops longer than the queue (`stalls 1500`) underrun; the delay must still
come back.

Usage: bench/live_bench.py [BUILD] [stalls [MS] | long [MINUTES]]
       (BUILD defaults to build/release; needs pulseaudio and sox)"""

import os
import re
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e", "live"))
import live_test  # noqa: E402

import pulse_loop  # noqa: E402

ARGS = sys.argv[1:]
BUILD = ARGS.pop(0) if ARGS and os.path.isdir(ARGS[0]) else os.path.join(SOURCE, "build", "release")
LIVE = os.path.join(BUILD, "src", "app", "live", "tarnix-live")
live_test.LIVE = LIVE
DEMO = os.path.join(SOURCE, "samples", "demo-noisy.wav")


def summary(out):
    m = re.search(r"([\d.]+) s of audio .* in ([\d.]+) s; underruns (\d+), overruns (\d+), "
                  r"delay restored (\d+) times; CPU ([\d.]+)%", out)
    if not m:
        sys.exit("no summary from tarnix-live:\n" + out)
    return m


def cpu_at_44100_stereo(seconds=60):
    with pulse_loop.PulseLoop(44100, channels=2) as loop:
        r = subprocess.run([LIVE, "--rate", "44100", "--stereo", "--seconds", str(seconds)],
                           env=loop.env, capture_output=True, text=True, timeout=seconds + 60)
    m = summary(r.stdout)
    print("44100 Hz simulated stereo, %s s: CPU %s%% of one core, underruns %s, overruns %s, "
          "%.4f of real time" % (m.group(1), m.group(6), m.group(3), m.group(4),
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


def delay_near(captured, played, rate, at, span=4):
    """The delay of the input from `at` seconds on, as live_test.measure_delay
    finds it from the start."""
    a, b = captured[int(at * rate):int((at + span) * rate)], played[int(at * rate):]
    step = rate // 100
    coarse, corr = live_test.best_lag(live_test.envelope(a, step), live_test.envelope(b, step),
                                      range(0, 400))
    fine = rate // 1000
    lag, _ = live_test.best_lag(live_test.envelope(a, fine), live_test.envelope(b, fine),
                                range(max(0, (coarse - 1) * 10), (coarse + 1) * 10))
    start = lag * fine
    lag, _ = live_test.best_lag(a[:rate], b, range(max(0, start - 2 * fine), start + 2 * fine))
    return lag / rate, corr


def looped_demo(folder, rate, seconds):
    demo = os.path.join(folder, "demo.wav")
    repeats = int(seconds // 22) + 1
    subprocess.run(["sox", DEMO, "-r", str(rate), demo, "repeat", str(repeats), "trim", "0",
                    str(seconds)], check=True)
    return demo


def stalls(rate=11025, seconds=26, times=(7.0, 10.0, 13.0), stop=0.15):
    """Three stops of the whole process; the delay before and after."""
    def stall(proc):
        start = time.monotonic()
        for t in times:
            time.sleep(max(0.0, start + t - time.monotonic()))
            proc.send_signal(signal.SIGSTOP)
            time.sleep(stop)
            proc.send_signal(signal.SIGCONT)

    with tempfile.TemporaryDirectory() as d:
        demo = looped_demo(d, rate, seconds)
        with pulse_loop.PulseLoop(rate) as loop:
            (rc, out, err), captured, played = live_test.live_through_loop(
                loop, rate, ["--no-mixer", "--rate", str(rate)], seconds, demo, during=stall)
    m = summary(out)
    before, c1 = delay_near(captured, played, rate, 2)
    after, c2 = delay_near(captured, played, rate, seconds - 8)
    print("%d Hz, %d stops of %d ms: delay %.1f ms before, %.1f ms after (moved %+.1f ms; "
          "correlation %.2f, %.2f), underruns %s, overruns %s, delay restored %s times" % (
              rate, len(times), 1000 * stop, 1000 * before, 1000 * after,
              1000 * (after - before), c1, c2, m.group(3), m.group(4), m.group(5)))


def long_run(minutes=10.0, rate=44100):
    """The delay at the start and at the end of a long run, simulated stereo."""
    seconds = int(minutes * 60)
    with tempfile.TemporaryDirectory() as d:
        demo = looped_demo(d, rate, seconds + 5)
        with pulse_loop.PulseLoop(rate, channels=2) as loop:
            (rc, out, err), captured, played = live_test.live_through_loop(
                loop, rate, ["--no-mixer", "--rate", str(rate), "--stereo"], seconds, demo)
    m = summary(out)
    before, c1 = delay_near(captured, played, rate, 2)
    after, c2 = delay_near(captured, played, rate, seconds - 8)
    print("%d Hz simulated stereo, %s s of audio in %s s: delay %.1f ms at the start, %.1f ms "
          "at the end (moved %+.1f ms; correlation %.2f, %.2f), underruns %s, overruns %s, "
          "delay restored %s times, load %.1f" % (
              rate, m.group(1), m.group(2), 1000 * before, 1000 * after, 1000 * (after - before),
              c1, c2, m.group(3), m.group(4), m.group(5), os.getloadavg()[0]))


if __name__ == "__main__":
    if ARGS and ARGS[0] == "stalls":
        stalls(stop=float(ARGS[1]) / 1000 if len(ARGS) > 1 else 0.15)
    elif ARGS and ARGS[0] == "long":
        long_run(float(ARGS[1]) if len(ARGS) > 1 else 10.0)
    else:
        delay_at(11025)
        delay_at(44100)
        cpu_at_44100_stereo()
