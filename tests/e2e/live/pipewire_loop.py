"""A private PipeWire: the daemon, its PulseAudio server and its session
manager (on a private session bus, which it needs), with null sinks A (the
receiver), B (the speakers) and M (two channels: a recording of M's monitor
holds two signals sample-aligned). Everything runs in a directory of its own
and is removed when the test ends; nothing of the user's desktop is touched:
the session manager watches no sound cards, cameras or Bluetooth.

ALSA reaches it through PipeWire's own ALSA plugin (PCMs "receiver": A's
monitor, and "speakers": B) when the plugin is found, through a private
configuration: the package that installs it system-wide would take over
ALSA's default for every program."""

import glob
import os
import shutil
import signal
import subprocess
import tempfile

from pulse_loop import wait_until

TOOLS = ("pipewire", "pipewire-pulse", "wireplumber", "dbus-run-session", "pw-link", "pactl",
         "parec", "paplay")


# The session manager's own configuration, beside its defaults. Its device
# monitors would put the machine's cards into the test's graph (and could take
# them from the desktop's server: the private bus hides the desktop's device
# reservations). The Bluetooth monitor also needs logind's state under
# /run/systemd, which a machine without systemd (a container, a minimal root)
# lacks: there WirePlumber exits at start and no stream gets its ports.
WIREPLUMBER_CONF = {
    "main.lua.d/51-tarnix-test.lua": "alsa_monitor.enabled = false\n"
                                     "v4l2_monitor.enabled = false\n"
                                     "libcamera_monitor.enabled = false\n",
    "bluetooth.lua.d/51-tarnix-test.lua": "bluez_monitor.enabled = false\n",
}


class SessionManagerError(RuntimeError):
    """WirePlumber ended while the loop started: this machine cannot run it."""


def available():
    return all(shutil.which(tool) for tool in TOOLS)


def alsa_plugin():
    """PipeWire's ALSA PCM plugin: the system's, or the copy scripts/bootstrap
    unpacks for tests."""
    for path in (glob.glob("/usr/lib/*/alsa-lib/libasound_module_pcm_pipewire.so") +
                 ["/usr/local/lib/tarnix/pipewire-alsa/libasound_module_pcm_pipewire.so"]):
        if os.path.exists(path):
            return path
    return None


class PipeWireLoop:
    def __init__(self, rate, channels=1, conf_d=None, lv2_path=None):
        """conf_d: extra configuration files for the daemon, name -> text."""
        self.rate = rate
        self.channels = channels
        self.conf_d = conf_d or {}
        self.dir = tempfile.mkdtemp(prefix="tarnix-pipewire-")
        os.chmod(self.dir, 0o700)
        self.env = dict(os.environ)
        for name in ("DBUS_SESSION_BUS_ADDRESS", "ALSA_CONFIG_PATH", "PIPEWIRE_REMOTE",
                     "PULSE_RUNTIME_PATH", "PULSE_COOKIE"):
            self.env.pop(name, None)
        self.env.update({
            "XDG_RUNTIME_DIR": self.dir,
            "PIPEWIRE_RUNTIME_DIR": self.dir,
            "XDG_CONFIG_HOME": os.path.join(self.dir, "config"),
            "XDG_STATE_HOME": os.path.join(self.dir, "state"),
            "HOME": self.dir,
            "PULSE_SERVER": "unix:" + os.path.join(self.dir, "pulse", "native"),
        })
        if lv2_path:
            self.env["LV2_PATH"] = lv2_path
        self.procs = []

    def __enter__(self):
        conf = os.path.join(self.dir, "config", "pipewire", "pipewire.conf.d")
        os.makedirs(conf)
        position = "MONO" if self.channels == 1 else "FL FR"
        files = dict(self.conf_d)
        files["sinks.conf"] = """context.properties = {
    default.clock.rate = %d
    default.clock.allowed-rates = [ %d ]
}
context.objects = [
    { factory = adapter args = { factory.name = support.null-audio-sink node.name = A
        node.description = A media.class = Audio/Sink audio.position = [ MONO ] } }
    { factory = adapter args = { factory.name = support.null-audio-sink node.name = B
        node.description = B media.class = Audio/Sink audio.position = [ %s ] } }
    { factory = adapter args = { factory.name = support.null-audio-sink node.name = M
        node.description = M media.class = Audio/Sink audio.position = [ FL FR ] } }
]
""" % (self.rate, self.rate, position)
        for name, text in files.items():
            with open(os.path.join(conf, name), "w") as f:
                f.write(text)
        for name, text in WIREPLUMBER_CONF.items():
            path = os.path.join(self.dir, "config", "wireplumber", name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.write(text)
        plugin = alsa_plugin()
        if plugin:
            path = os.path.join(self.dir, "alsa.conf")
            with open(path, "w") as f:
                f.write('pcm_type.pipewire { lib "%s" }\n' % plugin)
                f.write('pcm.receiver { type pipewire capture_node "A" playback_node "A" }\n')
                f.write('pcm.speakers { type pipewire capture_node "B" playback_node "B" }\n')
            self.env["ALSA_CONFIG_PATH"] = "/usr/share/alsa/alsa.conf:" + path
            # A capture stream aimed at a sink records its monitor.
            self.alsa_env = dict(self.env, PIPEWIRE_PROPS="{ stream.capture.sink = true }")
        else:
            self.alsa_env = None
        try:
            self._start("pipewire", ["pipewire"])
            wait_until(lambda: self.running() and
                       os.path.exists(os.path.join(self.dir, "pipewire-0")),
                       "the daemon's socket")
            self._start("pipewire-pulse", ["pipewire-pulse"])
            # The session manager gives nodes their ports and links streams
            # to their targets; without a session bus it gives up at start.
            self._start("wireplumber", ["dbus-run-session", "--", "wireplumber"])
            wait_until(lambda: self.running() and self.pactl("info").returncode == 0,
                       "the PulseAudio server")
            wait_until(lambda: self.running() and {"A", "B", "M"} <= set(self.sinks()),
                       "the null sinks")
            wait_until(lambda: self.running() and "A:monitor_MONO" in self.ports(),
                       "the session manager to give the sinks their ports")
        except Exception:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        for _, p, _ in reversed(self.procs):
            self._end(p)
        self.procs = []
        shutil.rmtree(self.dir, ignore_errors=True)

    def pactl(self, *args):
        return subprocess.run(["pactl", *args], env=self.env, capture_output=True, text=True,
                              timeout=10)

    def sinks(self):
        return [line.split("\t")[1] for line in self.pactl("list", "short", "sinks")
                .stdout.splitlines() if "\t" in line]

    def ports(self):
        r = subprocess.run(["pw-link", "-io"], env=self.env, capture_output=True, text=True,
                           timeout=10, stdin=subprocess.DEVNULL)
        return r.stdout.split()

    def link(self, output, input, seconds=10):
        """Links two ports once both exist."""
        wait_until(lambda: self.running() and output in self.ports() and input in self.ports(),
                   "ports %s and %s" % (output, input), seconds)
        subprocess.run(["pw-link", output, input], env=self.env, check=True, timeout=10,
                       stdin=subprocess.DEVNULL, capture_output=True)

    def record(self, path):
        """Records M's monitor, two channels, from now until stopped."""
        return subprocess.Popen(
            ["parec", "--raw", "--device=M.monitor", "--rate=%d" % self.rate, "--channels=2",
             "--format=s16le", "--latency-msec=10", path], env=self.env)

    def running(self):
        """True while every server runs; says why when one has ended."""
        for name, p, log in self.procs:
            if p.poll() is not None:
                with open(log, errors="replace") as f:
                    # Only the program's own words: the private bus's daemon
                    # warns about its descriptor limit when not privileged.
                    said = [line.strip() for line in f if line.strip() and
                            not line.startswith("dbus-daemon")]
                why = "%s ended with status %d%s" % (name, p.returncode,
                                                     ": " + " / ".join(said[-3:]) if said else "")
                if name == "wireplumber":
                    raise SessionManagerError(why)
                raise RuntimeError(why)
        return True

    def _start(self, name, cmd):
        log = os.path.join(self.dir, name + ".log")
        with open(log, "w") as f:
            self.procs.append((name, subprocess.Popen(
                cmd, env=self.env, stdout=subprocess.DEVNULL, stderr=f, start_new_session=True),
                log))

    @staticmethod
    def _end(p):
        # Each was started in a session of its own: its group holds what it
        # started (the private bus and the session manager).
        if p.poll() is None:
            try:
                os.killpg(p.pid, signal.SIGTERM)
                p.wait(5)
            except subprocess.TimeoutExpired:
                os.killpg(p.pid, signal.SIGKILL)
                p.wait()
        try:
            os.killpg(p.pid, signal.SIGKILL)  # anything it left behind
        except ProcessLookupError:
            pass
