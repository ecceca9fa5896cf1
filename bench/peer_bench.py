#!/usr/bin/env python3
"""Tarnix against SpeexDSP's preprocessor, side by side on this machine.

Each case runs tarnix-file (its options, else its defaults) and speex_denoise
(denoise only, 128-sample frames, -30 dB) on the same file, alternately, and
takes the CPU time (user + system) of each whole process. A pair's ratio is
SpeexDSP's time over Tarnix's: Tarnix's speed in units of SpeexDSP's. The
machine's other load moves both runs of a pair alike, so the median ratio
holds still where absolute times swing by tens of percent.

    python3 bench/peer_bench.py [BUILD] [--pairs N] [--case NAME ...] [--with OPTION ...]

BUILD is a build directory (build/release by default) holding
src/app/file/tarnix-file and bench/speex_denoise; --tarnix and --speex name
other programs; --with adds an option to Tarnix's in every case (such as a
stage to measure switched on). The inputs, speech from espeak-ng in noise made with sox, are
made once and kept in build/peer-bench.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CACHE = os.path.join(ROOT, "build", "peer-bench")

TEXT = """\
Good evening. This is the coastal station with the weather for shipping.
Winds from the south west, force five to six, veering west later.
Rain at times, then showers. Visibility moderate, occasionally poor.
The sea state is rough, becoming moderate in the north by the morning.
Small boats should keep to harbour until the wind eases after midnight.
Repeat: winds from the south west, force five to six, rain, then showers.
The next bulletin follows on the hour. Listeners on the short wave band
may hear some interference from a nearby carrier; we are working on it.
Now the news. The river ferry resumes its service on Monday at seven.
Road works on the northern bridge will close one lane until Friday.
The library opens late on Thursdays throughout the winter months.
That is the end of this bulletin. Stay tuned for music after the break.
"""

# name: (rate, seconds, Tarnix's options)
CASES = {
    "11025-mono-10min": (11025, 600, []),
    "44100-mono-30s": (44100, 30, []),
    "44100-stereo-30s": (44100, 30, ["--stereo"]),
}


def run(cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)


def speech_in_noise(rate, seconds):
    """A mono 16-bit WAV of speech in pink noise, made once."""
    path = os.path.join(CACHE, f"speech-noise-{rate}-{seconds}s.wav")
    if os.path.exists(path):
        return path
    os.makedirs(CACHE, exist_ok=True)
    with tempfile.TemporaryDirectory(dir=CACHE) as tmp:
        text = os.path.join(tmp, "text.txt")
        with open(text, "w") as f:
            f.write(TEXT)
        voice = os.path.join(tmp, "voice.wav")
        run(["espeak-ng", "-v", "en", "-s", "150", "-f", text, "-w", voice])
        speech = os.path.join(tmp, "speech.wav")
        # Normalised, at the case's rate, repeated past its length and cut.
        run(["sox", "-R", voice, "-r", str(rate), "-c", "1", "-b", "16", speech,
             "gain", "-n", "-8", "repeat", str(seconds // 20 + 1), "trim", "0", str(seconds)])
        noise = os.path.join(tmp, "noise.wav")
        run(["sox", "-R", "-n", "-r", str(rate), "-c", "1", "-b", "16", noise,
             "synth", str(seconds), "pinknoise", "vol", "0.08"])
        mixed = os.path.join(tmp, "mixed.wav")
        run(["sox", "-R", "-m", "-v", "1", speech, "-v", "1", noise, "-b", "16", mixed])
        os.replace(mixed, path)
    return path


def cpu_seconds(cmd):
    """User plus system CPU time of one run of cmd."""
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"peer_bench: {' '.join(cmd)} failed with status {status}")
    return usage.ru_utime + usage.ru_stime


def quantile(sorted_values, q):
    pos = q * (len(sorted_values) - 1)
    lo = int(pos)
    hi = min(lo + 1, len(sorted_values) - 1)
    return sorted_values[lo] + (sorted_values[hi] - sorted_values[lo]) * (pos - lo)


def measure(name, tarnix, speex, pairs, out_dir, extra):
    rate, seconds, options = CASES[name]
    options = options + extra
    wav = speech_in_noise(rate, seconds)
    tarnix_cmd = [tarnix, "-q", *options, wav, os.path.join(out_dir, "tarnix.wav")]
    speex_cmd = [speex, wav, os.path.join(out_dir, "speex.wav")]
    # One run of each first, unmeasured, so that neither pays for the cache.
    cpu_seconds(tarnix_cmd)
    cpu_seconds(speex_cmd)
    ratios, tarnix_times, speex_times = [], [], []
    for i in range(pairs):
        # Which goes first alternates, so neither always follows the other.
        if i % 2 == 0:
            t = cpu_seconds(tarnix_cmd)
            s = cpu_seconds(speex_cmd)
        else:
            s = cpu_seconds(speex_cmd)
            t = cpu_seconds(tarnix_cmd)
        tarnix_times.append(t)
        speex_times.append(s)
        ratios.append(s / t)
    r = sorted(ratios)
    print(f"{name:18} {' '.join(options) or '(defaults)':11} "
          f"ratio median {statistics.median(r):.2f}  "
          f"quartiles {quantile(r, 0.25):.2f}-{quantile(r, 0.75):.2f}  "
          f"range {r[0]:.2f}-{r[-1]:.2f}  "
          f"CPU s median: Tarnix {statistics.median(tarnix_times):.3f}, "
          f"SpeexDSP {statistics.median(speex_times):.3f}", flush=True)
    return statistics.median(r)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build", nargs="?", default=os.path.join(ROOT, "build", "release"))
    parser.add_argument("--tarnix", help="the tarnix-file to measure")
    parser.add_argument("--speex", help="the speex_denoise to measure against")
    parser.add_argument("--pairs", type=int, default=11, help="alternating pairs per case (11)")
    parser.add_argument("--case", action="append", choices=sorted(CASES),
                        help="measure only this case (repeatable)")
    parser.add_argument("--with", dest="extra", action="append", default=[], metavar="OPTION",
                        help="add this option to Tarnix's (repeatable; --with=--opt for a dash)")
    args = parser.parse_args()
    tarnix = args.tarnix or os.path.join(args.build, "src", "app", "file", "tarnix-file")
    speex = args.speex or os.path.join(args.build, "bench", "speex_denoise")
    for program in (tarnix, speex):
        if not os.access(program, os.X_OK):
            sys.exit(f"peer_bench: {program} not found (build it first)")
    if args.pairs < 1:
        sys.exit("peer_bench: --pairs must be at least 1")

    load = os.getloadavg()
    print(f"load average before: {load[0]:.2f} {load[1]:.2f} {load[2]:.2f}; "
          f"{args.pairs} pairs per case; ratio = SpeexDSP CPU time / Tarnix CPU time", flush=True)
    start = time.monotonic()
    with tempfile.TemporaryDirectory() as out_dir:
        for name in args.case or list(CASES):
            measure(name, tarnix, speex, args.pairs, out_dir, args.extra)
    load = os.getloadavg()
    print(f"load average after: {load[0]:.2f} {load[1]:.2f} {load[2]:.2f}; "
          f"{time.monotonic() - start:.0f} s")


if __name__ == "__main__":
    main()
