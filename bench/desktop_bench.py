#!/usr/bin/env python3
"""tarnix on a private X server with a private PulseAudio as its sound card,
at 44100 Hz in simulated stereo with the default options and the spectrum
painted once a second while the demo plays in: the CPU it uses over 30 s
(the target is under 2% of one core). Leaves a screenshot of the running
program beside the build.

With `delay`, the end-to-end delay at 11025 and 44100 Hz in mono instead,
with the design's timing and with `--latency low`, against the pipeline's own.

Usage: bench/desktop_bench.py [build/release] [delay]  (needs Xvfb, xdotool,
ImageMagick, pulseaudio and sox)"""

import os
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e", "desktop"))
import desktop_test  # noqa: E402
import live_test  # noqa: E402
import pulse_loop  # noqa: E402

ARGS = sys.argv[1:]
BUILD = os.path.abspath(ARGS.pop(0) if ARGS and os.path.isdir(ARGS[0]) else
                        os.path.join(SOURCE, "build", "release"))
TARNIX = os.path.join(BUILD, "src", "app", "qt", "tarnix")
TITLE = desktop_test.TITLE + " - Simulated Stereo"


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def main(seconds=30):
    with desktop_test.Screen() as screen, pulse_loop.PulseLoop(44100, channels=2) as loop:
        env = dict(loop.env)
        env["DISPLAY"] = screen.display
        env.pop("QT_QPA_PLATFORM", None)
        tarnix = subprocess.Popen([TARNIX], env=env, cwd=loop.dir, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        try:
            welcome = screen.window("^Welcome$")
            # "44 kHz" and "Simulated Stereo Output" by keyboard: from the
            # list, Tab to Agree, Disagree and the checked rate, the arrows to
            # 44 kHz, Tab to the check box; Enter agrees.
            screen.keys(welcome, "Tab", "Tab", "Tab", "Right", "Right", "Tab", "space", "Return")
            main_window, boxes = screen.answer_boxes_until(
                TITLE, ("Welcome", "Audio Level Controls"))
            level, _ = screen.answer_boxes_until("Audio Level Controls", (TITLE,))
            screen.run("xdotool", "windowmove", level, "1230", "60")
            player = subprocess.Popen(["paplay", "--device=A", "--latency-msec=100",
                                       desktop_test.DEMO], env=loop.env)
            time.sleep(3)
            start, wall = cpu_seconds(tarnix.pid), time.monotonic()
            time.sleep(seconds)
            used, wall = cpu_seconds(tarnix.pid) - start, time.monotonic() - wall
            screen.shot("desktop-44100-stereo.png", BUILD)
            player.kill()
            player.wait()
            screen.keys(main_window, "alt+f", "x")
            rc = tarnix.wait(15)
        finally:
            if tarnix.poll() is None:
                tarnix.kill()
                tarnix.wait()
    print("tarnix at 44100 Hz, simulated stereo: %.2f%% of one core over %.0f s "
          "(exit code %d; mixer boxes answered: %s)" % (100 * used / wall, wall, rc,
                                                       ", ".join(boxes) or "none"))


def delay(latency, rate=11025, seconds=12):
    """Records what tarnix hears and plays while the demo plays in, lined up
    by a click played into both before it starts (as the live benchmark
    does), and returns the delay between them."""
    with tempfile.TemporaryDirectory() as d:
        demo = os.path.join(d, "demo.wav")
        subprocess.run(["sox", desktop_test.DEMO, "-r", str(rate), demo, "trim", "0",
                        str(seconds - 2)], check=True)
        with desktop_test.Screen() as screen, pulse_loop.PulseLoop(rate) as loop:
            env = dict(loop.env)
            env["DISPLAY"] = screen.display
            env.pop("QT_QPA_PLATFORM", None)
            click = os.path.join(loop.dir, "click.wav")
            live_test.click_file(click, rate)
            recorders = [subprocess.Popen(
                ["parec", "--raw", "--device", dev, "--rate=%d" % rate, "--channels=1",
                 "--format=s16le", "--latency-msec=10", os.path.join(loop.dir, name)],
                env=loop.env) for dev, name in (("A.monitor", "in.raw"), ("B.monitor", "out.raw"))]
            time.sleep(0.5)
            subprocess.run(["paplay", "--device=AB", click], env=loop.env, timeout=30, check=True)
            tarnix = subprocess.Popen([TARNIX, "--latency", latency], env=env, cwd=loop.dir,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                # 11 kHz as it stands, or 44 kHz by the arrows (see main); mono.
                rate_keys = ("Tab", "Tab", "Tab", "Right", "Right") if rate == 44100 else ()
                screen.keys(screen.window("^Welcome$"), *rate_keys, "Return")
                main_window, _ = screen.answer_boxes_until(
                    desktop_test.TITLE, ("Welcome", "Audio Level Controls"))
                time.sleep(1)
                subprocess.run(["paplay", "--device=A", "--latency-msec=100", demo],
                               env=loop.env, timeout=seconds + 30, check=True)
                time.sleep(2)
                screen.answer_boxes_until("Audio Level Controls", (desktop_test.TITLE,))
                screen.keys(main_window, "alt+f", "x")
                tarnix.wait(15)
            finally:
                if tarnix.poll() is None:
                    tarnix.kill()
                    tarnix.wait()
                for r in recorders:
                    r.send_signal(signal.SIGINT)
                    r.wait(10)
            captured = live_test.read_raw(os.path.join(loop.dir, "in.raw"))
            played = live_test.read_raw(os.path.join(loop.dir, "out.raw"))
    a, b = live_test.first_loud(captured), live_test.first_loud(played)
    seconds, corr = live_test.measure_delay(captured[a + rate // 10:], played[b + rate // 10:],
                                            rate)
    return seconds, corr


if __name__ == "__main__":
    if ARGS and ARGS[0] == "delay":
        for rate in (11025, 44100):
            for mode in ("design", "low"):
                d, corr = delay(mode, rate)
                own = live_test.design_delay(rate) if mode == "design" else 1535 / rate
                print("tarnix --latency %s at %d Hz, mono: delay %.1f ms (correlation %.2f); "
                      "the pipeline's own %.1f ms" % (mode, rate, 1000 * d, corr, 1000 * own))
    else:
        main()
