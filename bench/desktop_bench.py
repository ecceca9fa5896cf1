#!/usr/bin/env python3
"""tarnix on a private X server with a private PulseAudio as its sound card,
at 44100 Hz in simulated stereo with the default options and the spectrum
painted once a second while the demo plays in: the CPU it uses over 30 s
(the target is under 2% of one core). Leaves a screenshot of the running
program beside the build.

Usage: bench/desktop_bench.py [build/release]  (needs Xvfb, xdotool,
ImageMagick and pulseaudio)"""

import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e", "desktop"))
import desktop_test  # noqa: E402
import pulse_loop  # noqa: E402

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(SOURCE, "build",
                                                                              "release"))
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


if __name__ == "__main__":
    main()
