"""A private PulseAudio daemon with two null sinks, A (the receiver) and B
(the speakers): ALSA's default PCM records A's monitor and plays into B.
The daemon, its keep-alive streams and its directory belong to the test and
are removed when it ends."""

import os
import shutil
import signal
import subprocess
import tempfile
import time


def wait_until(ready, what, seconds=15):
    """Polls ready() until it holds; gives up after `seconds`."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if ready():
            return
        time.sleep(0.1)
    raise RuntimeError("gave up waiting for " + what)


def available():
    return all(shutil.which(tool) for tool in ("pulseaudio", "pactl", "pacat", "parec", "paplay"))


class PulseLoop:
    def __init__(self, rate, channels=1):
        self.rate = rate
        self.channels = channels
        self.dir = tempfile.mkdtemp(prefix="tarnix-pulse-")
        os.chmod(self.dir, 0o700)
        self.env = dict(os.environ)
        self.env.update({
            "PULSE_RUNTIME_PATH": self.dir,
            "PULSE_STATE_PATH": os.path.join(self.dir, "state"),
            "PULSE_SERVER": "unix:" + os.path.join(self.dir, "native"),
            "PULSE_COOKIE": os.path.join(self.dir, "cookie"),
            "XDG_RUNTIME_DIR": self.dir,
            "HOME": self.dir,
        })
        self.env.pop("ALSA_CONFIG_PATH", None)
        self.daemon = None
        self.keepalive = []

    def __enter__(self):
        script = os.path.join(self.dir, "loop.pa")
        fmt = "rate=%d format=s16le" % self.rate
        with open(script, "w") as f:
            f.write("load-module module-native-protocol-unix auth-anonymous=1 socket=%s\n"
                    % os.path.join(self.dir, "native"))
            f.write("load-module module-null-sink sink_name=A channels=1 %s\n" % fmt)
            f.write("load-module module-null-sink sink_name=B channels=%d %s\n"
                    % (self.channels, fmt))
            # AB plays into both at once: a click through it marks the same
            # moment in recordings of A and B.
            f.write("load-module module-combine-sink sink_name=AB slaves=A,B adjust_time=0\n")
            f.write("set-default-sink B\nset-default-source A.monitor\n")
        self.daemon = subprocess.Popen(
            ["pulseaudio", "-n", "-F", script, "--daemonize=no", "--exit-idle-time=-1",
             "--system=false", "--disallow-exit", "--realtime=no", "--high-priority=no",
             "--log-target=stderr", "--log-level=error"],
            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            wait_until(lambda: self.pactl("info").returncode == 0, "the daemon to answer")
            # Idle null sinks render in large blocks: keep a short stream
            # playing into each so that they run with a small latency.
            for sink in ("A", "B"):
                self.keepalive.append(subprocess.Popen(
                    ["pacat", "--raw", "--device", sink, "--latency-msec=10",
                     "--rate=%d" % self.rate, "--channels=1", "--format=s16le", "/dev/zero"],
                    env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
            wait_until(self._low_latency, "the sinks to run with a low latency")
        except Exception:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        for p in self.keepalive:
            self._end(p)
        self.keepalive = []
        self.kill()
        shutil.rmtree(self.dir, ignore_errors=True)

    def kill(self):
        if self.daemon:
            self._end(self.daemon)
            self.daemon = None

    def pactl(self, *args):
        return subprocess.run(["pactl", *args], env=self.env, capture_output=True, text=True,
                              timeout=10)

    def _low_latency(self):
        out = self.pactl("list", "sinks").stdout
        lat = [float(line.split()[1]) for line in out.splitlines()
               if line.strip().startswith("Latency:")]
        # A and B come first; the combined sink follows them.
        return len(lat) >= 2 and all(l < 50000 for l in lat[:2])

    @staticmethod
    def _end(p):
        if p.poll() is None:
            p.send_signal(signal.SIGTERM)
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
