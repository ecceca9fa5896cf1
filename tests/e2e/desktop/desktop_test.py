"""tarnix as a person meets it: a real window on a private X server (Xvfb)
with a private PulseAudio loop as the sound card. The Welcome dialog comes
first; Agree starts the audio; the demo recording plays into the input and
the spectrum shows its whistle at the 5000 Hz column; File, Exit ends with
code 0 and the speakers unmuted. Screenshots stay beside the test as
artefacts.

usage: desktop_test.py TARNIX SOURCE_DIR OUTPUT_DIR"""

import os
import shutil
import signal
import struct
import subprocess
import sys
import time
import unittest

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))))
TARNIX, OUT = (sys.argv[1], sys.argv[3]) if __name__ == "__main__" else (None, None)
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e", "live"))
import pulse_loop  # noqa: E402

DEMO = os.path.join(SOURCE, "samples", "demo-noisy.wav")
SCREEN = (1600, 1000)
BACKGROUND, GREEN = (0, 64, 0), (0, 255, 0)
TITLE = "Tarnix Digital Filter Program "


def tools_present():
    return pulse_loop.available() and all(
        shutil.which(t) for t in ("Xvfb", "xdotool", "import", "convert"))


class Screen:
    """A private X server on the first free display."""

    def __enter__(self):
        read, write = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "%dx%dx24" % SCREEN,
             "-nolisten", "tcp"], pass_fds=(write,), stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            self.display = ":" + f.readline().strip()
        return self

    def __exit__(self, *exc):
        self.proc.terminate()
        self.proc.wait(10)

    def run(self, *args, env=None):
        e = dict(env or os.environ)
        e["DISPLAY"] = self.display
        return subprocess.run(list(args), env=e, capture_output=True, text=True, timeout=20)

    def window(self, name, seconds=15):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            found = self.run("xdotool", "search", "--onlyvisible", "--name", name).stdout.split()
            if found:
                return found[0]
            time.sleep(0.2)
        raise AssertionError("no window named %r appeared" % name)

    def names(self):
        ids = self.run("xdotool", "search", "--onlyvisible", "--name", ".").stdout.split()
        return [self.run("xdotool", "getwindowname", i).stdout.rstrip("\n") for i in ids]

    def geometry(self, wid):
        out = self.run("xdotool", "getwindowgeometry", "--shell", wid).stdout
        g = dict(line.split("=") for line in out.split())
        return int(g["X"]), int(g["Y"]), int(g["WIDTH"]), int(g["HEIGHT"])

    def keys(self, wid, *keys):
        self.run("xdotool", "windowfocus", "--sync", wid)
        for k in keys:
            self.run("xdotool", "key", "--clearmodifiers", k)
            time.sleep(0.3)

    def answer_boxes_until(self, name, known, seconds=20):
        """Presses OK on every message box until a window named `name` is
        up; returns the boxes' captions."""
        captions = []
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            ids = self.run("xdotool", "search", "--onlyvisible", "--name", ".").stdout.split()
            for wid in ids:
                title = self.run("xdotool", "getwindowname", wid).stdout.rstrip("\n")
                if title == name:
                    return wid, captions
                if title not in known:
                    captions.append(title)
                    self.keys(wid, "Return")
            time.sleep(0.2)
        raise AssertionError("no window named %r appeared; boxes: %r" % (name, captions))

    def shot(self, name, folder=None):
        path = os.path.join(folder or OUT, name)
        self.run("import", "-window", "root", path)
        return path


def read_pixels(png):
    """The screenshot as rows of RGB triples."""
    ppm = subprocess.run(["convert", png, "ppm:-"], capture_output=True, check=True).stdout
    parts = ppm.split(maxsplit=4)
    width, height = int(parts[1]), int(parts[2])
    data = parts[4]
    return [[tuple(data[(y * width + x) * 3:(y * width + x) * 3 + 3]) for x in range(width)]
            for y in range(height)]


def rms(path):
    with open(path, "rb") as f:
        raw = f.read()
    samples = struct.unpack("<%dh" % (len(raw) // 2), raw[:len(raw) // 2 * 2])
    return (sum(s * s for s in samples) / max(len(samples), 1)) ** 0.5


@unittest.skipUnless(tools_present(), "Xvfb, xdotool, ImageMagick or PulseAudio is missing")
class Desktop(unittest.TestCase):
    def test_welcome_agree_live_spectrum_and_exit(self):
        rate = 11025
        with Screen() as screen, pulse_loop.PulseLoop(rate) as loop:
            env = dict(loop.env)
            env["DISPLAY"] = screen.display
            env.pop("QT_QPA_PLATFORM", None)
            played = os.path.join(loop.dir, "speakers.raw")
            tarnix = subprocess.Popen([TARNIX], env=env, cwd=loop.dir,
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            try:
                welcome = screen.window("^Welcome$")
                time.sleep(0.5)
                screen.shot("desktop-welcome.png")
                # Enter is Agree: 11025 Hz, mono, as it stands.
                screen.keys(welcome, "Return")
                # Without a sound card the mixer is the sound server's, which
                # has no analog lines: the mixer says so in boxes, and the
                # program runs on.
                main, boxes = screen.answer_boxes_until(TITLE,
                                                        ("Welcome", "Audio Level Controls"))
                # The window's class is the program's class name.
                classes = screen.run("xdotool", "search", "--class",
                                     "^Tarnix Digital Filter Program$").stdout.split()
                self.assertIn(main, classes)
                level, more = screen.answer_boxes_until("Audio Level Controls", (TITLE,))
                boxes += more
                print("message boxes:", boxes, file=sys.stderr)
                self.assertTrue(all(b.startswith("CMixer") for b in boxes), boxes)
                # The level dialog opens beside the window, off the spectrum.
                lx, ly, lw, lh = screen.geometry(level)
                mx, my, mw, mh = screen.geometry(main)
                self.assertTrue(lx >= mx + mw or lx + lw <= mx,
                                "the level dialog at %r covers the window at %r"
                                % ((lx, ly, lw, lh), (mx, my, mw, mh)))
                # As a user would: the equalizer off so the steady whistle is
                # not flattened in the display.
                screen.keys(main, "alt+o", "q")
                recorder = subprocess.Popen(
                    ["parec", "--raw", "--device", "B.monitor", "--rate=%d" % rate,
                     "--channels=1", "--format=s16le", "--latency-msec=20", played], env=loop.env)
                player = subprocess.Popen(["paplay", "--device=A", "--latency-msec=100", DEMO],
                                          env=loop.env)
                time.sleep(6.5)
                others = [n for n in screen.names() if n not in (TITLE, "Audio Level Controls")]
                self.assertEqual(others, [], "unexpected windows (message boxes?)")
                x, y, width, height = screen.geometry(main)
                # The trace is the latest frame's alone: while the sound
                # server's loop hands over nothing it lies flat, so the
                # screen is looked at again for a while before it is judged.
                end = time.monotonic() + 10
                while True:
                    px = read_pixels(screen.shot("desktop-running.png"))
                    grid, column = self.spectrum_peak(px, x, y, width, height)
                    if column is not None and len(grid) > 5 and abs(column - grid[5]) <= 3:
                        break
                    if time.monotonic() > end:
                        break
                    print("no whistle on the spectrum yet, looking again", file=sys.stderr)
                    time.sleep(0.5)
                self.check_spectrum(px, x, y, width, height)

                screen.keys(main, "alt+f", "x")
                rc = tarnix.wait(15)
                recorder.send_signal(signal.SIGINT)
                recorder.wait(10)
                player.kill()
                player.wait()
            except Exception:
                screen.shot("desktop-failed.png")
                print("windows on screen:", screen.names(), file=sys.stderr)
                raise
            finally:
                if tarnix.poll() is None:
                    tarnix.kill()
                _, err = tarnix.communicate()
                print(err, file=sys.stderr)
            self.assertEqual(rc, 0, err)
            self.assertIn("Mute: no", loop.pactl("get-sink-mute", "B").stdout)
            self.assertGreater(rms(played), 100.0, "the speakers stayed silent")

    def test_sound_server_killed_ends_with_status_1(self):
        # The server dies under a client playing into the input: the failed
        # device's box comes up, and after OK the program ends by itself.
        with Screen() as screen, pulse_loop.PulseLoop(11025) as loop:
            env = dict(loop.env)
            env["DISPLAY"] = screen.display
            env.pop("QT_QPA_PLATFORM", None)
            tarnix = subprocess.Popen([TARNIX], env=env, cwd=loop.dir,
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            player = subprocess.Popen(["paplay", "--device=A", "--latency-msec=100", DEMO],
                                      env=loop.env, stderr=subprocess.DEVNULL)
            try:
                screen.keys(screen.window("^Welcome$"), "Return")
                screen.answer_boxes_until(TITLE, ("Welcome", "Audio Level Controls"))
                screen.answer_boxes_until("Audio Level Controls", (TITLE,))
                time.sleep(1.5)
                loop.daemon.kill()
                loop.daemon.wait(10)
                loop.daemon = None
                captions = []
                end = time.monotonic() + 20
                while tarnix.poll() is None and time.monotonic() < end:
                    for wid in screen.run("xdotool", "search", "--onlyvisible", "--name",
                                          "^wave").stdout.split():
                        captions.append(screen.run("xdotool", "getwindowname", wid).stdout.strip())
                        screen.keys(wid, "Return")
                    time.sleep(0.2)
                rc = tarnix.wait(5)
            finally:
                if tarnix.poll() is None:
                    screen.shot("desktop-server-killed.png")
                    tarnix.kill()
                _, err = tarnix.communicate()
                player.kill()
                player.wait()
            self.assertEqual(rc, 1, err)
            self.assertTrue(captions, "no box for the failed device")
            self.assertRegex(captions[0], r"^wave(In|Out)UnprepareHeader \(MM_W(IM_DATA|OM_DONE)\)$")

    @staticmethod
    def spectrum_peak(px, x, y, width, height):
        """The kHz lines' columns and the trace's highest column (None for
        a flat trace)."""
        # The spectrum area starts below the menu bar: the first dark green
        # row between the 0 Hz line and its label.
        top = next(r for r in range(y, y + height) if px[r][x + 3] == BACKGROUND)
        bottom = y + height
        rows = range(top, bottom)
        lower = range((top + bottom) // 2, bottom)
        grid = [c for c in range(x, x + width)
                if sum(px[r][c] == GREEN for r in lower) > 0.9 * len(lower)]
        best, column = bottom, None
        for c in range(x + 2, x + width):
            if c in grid:
                continue
            r = next((r for r in rows if px[r][c] == GREEN), bottom)
            if r < best:
                best, column = r, c
        return grid, column

    def check_spectrum(self, px, x, y, width, height):
        grid, column = self.spectrum_peak(px, x, y, width, height)
        # 11025 Hz, 1.5 pixels a bin: the kHz lines at the first bins of
        # 0, 1000, ... Hz (bins 0, 93, 186, 279, 372, 465).
        self.assertEqual([c - x for c in grid[:6]], [0, 139, 279, 418, 558, 697])
        # The trace's highest point is the whistle.
        self.assertIsNotNone(column)
        self.assertLessEqual(abs(column - grid[5]), 3,
                             "highest point at column %d, 5000 Hz at %d" % (column - x,
                                                                            grid[5] - x))


class CommandLine(unittest.TestCase):
    """A mistyped option is named before Qt looks for a display."""

    def test_a_mistyped_option_is_named_without_a_display(self):
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        for args in (["--latncy", "low"], ["-platform", "offscreen", "--latncy", "low"],
                     ["--style=fusion", "--latncy"]):
            with self.subTest(args=args):
                r = subprocess.run([TARNIX, *args], env=env, capture_output=True, text=True,
                                   timeout=30)
                self.assertEqual(r.returncode, 2, r.stderr)
                self.assertIn("tarnix: unknown argument '--latncy' (--help lists the options)",
                              r.stderr)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[4:])
