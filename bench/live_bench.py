#!/usr/bin/env python3
"""tarnix-live in real time through a private sound server with null sinks:
the end-to-end delay at 11025 Hz mono and 44100 Hz mono and simulated stereo
against the streaming path's floor (1535 samples; the targets are the floor
plus 40 ms), and the CPU it uses at 44100 Hz in simulated stereo over 60 s
against `arecord | aplay` through the same server (the target is at most
twice that).

The delay must stay constant: `stalls` stops the program three times for
150 ms (the target is a delay moved by less than 20 ms), `long [MINUTES]`
compares the delay at the start and the end of a long run at 44100 Hz in
simulated stereo, with its underruns (the target: none, or each recovered
within a second).

Stops longer than the queue (`stalls 1500`) underrun; the delay must still
come back.

Usage: bench/live_bench.py [BUILD] [--server pulse|pipewire] [--latency low|design]
                           [cpu | stalls [MS] | long [MINUTES]]
       (BUILD defaults to build/release; needs the server's packages and sox;
       pipewire also needs PipeWire's ALSA plugin, see scripts/bootstrap)"""

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

import pipewire_loop  # noqa: E402
import pulse_loop  # noqa: E402

ARGS = sys.argv[1:]
BUILD = ARGS.pop(0) if ARGS and os.path.isdir(ARGS[0]) else os.path.join(SOURCE, "build", "release")


def take(option, default):
    if option in ARGS:
        i = ARGS.index(option)
        value = ARGS[i + 1]
        del ARGS[i:i + 2]
        return value
    return default


SERVER = take("--server", "pulse")
LATENCY = take("--latency", "low")
LIVE = os.path.join(BUILD, "src", "app", "live", "tarnix-live")
live_test.LIVE = LIVE
DEMO = os.path.join(SOURCE, "samples", "demo-noisy.wav")


def summary(out):
    m = re.search(r"([\d.]+) s of audio .* in ([\d.]+) s; underruns (\d+), overruns (\d+), "
                  r"delay restored (\d+) times; CPU ([\d.]+)%", out)
    if not m:
        sys.exit("no summary from tarnix-live:\n" + out)
    return m


def server(rate, channels=1):
    if SERVER == "pipewire":
        return pipewire_loop.PipeWireLoop(rate, channels=channels)
    return pulse_loop.PulseLoop(rate, channels=channels)


def live_args(rate, stereo):
    args = ["--no-mixer", "--rate", str(rate), "--latency", LATENCY]
    if stereo:
        args.append("--stereo")
    if SERVER == "pipewire":
        args += ["--capture", "receiver", "--playback", "speakers"]
    return args


def run_through(rate, stereo, seconds, demo, during=None):
    """tarnix-live through the server while `demo` plays into its input;
    returns its result and the input and output, aligned."""
    if SERVER != "pipewire":
        with server(rate, 2 if stereo else 1) as loop:
            return live_test.live_through_loop(loop, rate, live_args(rate, stereo), seconds,
                                               demo, during)
    with tempfile.TemporaryDirectory() as d, server(rate, 2 if stereo else 1) as loop:
        if not loop.alsa_env:
            sys.exit("PipeWire's ALSA plugin is missing: run scripts/bootstrap")
        loop.link("A:monitor_MONO", "M:playback_FL")
        loop.link("B:monitor_FL" if stereo else "B:monitor_MONO", "M:playback_FR")
        recording = os.path.join(d, "m.raw")
        recorder = loop.record(recording)
        live = live_test.Run(live_args(rate, stereo) + ["--seconds", str(seconds)],
                             loop.alsa_env)
        time.sleep(0.5)
        player = subprocess.Popen(["paplay", "--device=A", "--latency-msec=20", demo],
                                  env=loop.env)
        if during:
            during(live.proc)
        result = live.finish(seconds + 30)
        player.wait(30)
        recorder.send_signal(signal.SIGINT)
        recorder.wait(10)
        captured, played = live_test.two_channels(recording)
    return result, captured, played


def process_cpu(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def arecord_aplay(env, devices, rate, seconds, period=None):
    """The CPU share of `arecord | aplay`, mono, with their own buffers or
    with tarnix-live's low-latency period and ring."""
    fmt = ["-q", "-f", "S16_LE", "-r", str(rate), "-c", "1", "-t", "raw"]
    if period:
        fmt += ["--period-size=%d" % period, "--buffer-size=%d" % (32 * period)]
    rec = subprocess.Popen(["arecord", *devices[0], *fmt], env=env, stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL)
    play = subprocess.Popen(["aplay", *devices[1], *fmt], env=env, stdin=rec.stdout,
                            stderr=subprocess.DEVNULL)
    rec.stdout.close()
    time.sleep(seconds)
    share = sum(process_cpu(p.pid) for p in (rec, play)) / seconds
    for p in (rec, play):
        p.terminate()
        p.wait(10)
    return share


def cpu_at_44100_stereo(seconds=60):
    """tarnix-live's CPU, and `arecord | aplay` through the same server."""
    rate = 44100
    with server(rate, 2) as loop:
        env = loop.alsa_env if SERVER == "pipewire" else loop.env
        r = subprocess.run([LIVE, *live_args(rate, True), "--seconds", str(seconds)],
                           env=env, capture_output=True, text=True, timeout=seconds + 60)
        devices = (["-D", "receiver"], ["-D", "speakers"]) if SERVER == "pipewire" else ([], [])
        plain = arecord_aplay(env, devices, rate, seconds)
        small = arecord_aplay(env, devices, rate, seconds, period=256)
    m = summary(r.stdout)
    cpu = float(m.group(6))
    print("44100 Hz simulated stereo, %s s: CPU %.2f%% of one core; arecord | aplay %.2f%% "
          "(ratio %.2f), with 256-frame periods %.2f%% (ratio %.2f); underruns %s, overruns %s, "
          "%.4f of real time, load %.1f" % (
              m.group(1), cpu, 100 * plain, cpu / (100 * plain), 100 * small,
              cpu / (100 * small), m.group(3), m.group(4),
              float(m.group(2)) / float(m.group(1)), os.getloadavg()[0]))


def floor_ms(rate):
    return 1000 * (live_test.low_delay(rate) if LATENCY == "low" else
                   live_test.design_delay(rate))


def delay_at(rate, stereo=False, seconds=12):
    with tempfile.TemporaryDirectory() as d:
        demo = os.path.join(d, "demo.wav")
        subprocess.run(["sox", DEMO, "-r", str(rate), demo, "trim", "0", str(seconds - 2)],
                       check=True)
        (rc, out, err), captured, played = run_through(rate, stereo, seconds, demo)
    delay, corr = live_test.measure_delay(captured, played, rate)
    m = summary(out)
    print("%d Hz %s: delay %.1f ms (floor %.1f ms, over it by %.1f ms; correlation %.2f), "
          "underruns %s, overruns %s" % (
              rate, "stereo" if stereo else "mono", 1000 * delay, floor_ms(rate),
              1000 * delay - floor_ms(rate), corr, m.group(3), m.group(4)))


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
        (rc, out, err), captured, played = run_through(rate, False, seconds, demo, stall)
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
        (rc, out, err), captured, played = run_through(rate, True, seconds, demo)
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
    elif ARGS and ARGS[0] == "cpu":
        cpu_at_44100_stereo()
    elif ARGS and ARGS[0] == "long":
        long_run(float(ARGS[1]) if len(ARGS) > 1 else 10.0)
    else:
        print("%s latency through %s; load %.1f" % (LATENCY, SERVER, os.getloadavg()[0]))
        delay_at(11025)
        delay_at(44100)
        delay_at(44100, stereo=True)
        cpu_at_44100_stereo()
