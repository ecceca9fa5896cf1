#!/usr/bin/env python3
"""Speech quality benchmark: Tarnix's design settings, Tarnix --enhance and
SpeexDSP's preprocessor on one corpus, side by side.

The corpus is made here, the same in every run (sox -R: its dither
repeats): three espeak-ng voices read three different sentence sets
(11025 Hz, 2 s of silence before the first word so that the noise is
heard alone), mixed with noise made by sox (-R, so it repeats) at a
known SNR (the speech's energy over the noise's, over the whole file):

  white 0, 5 and 10 dB; pink noise band-passed to 250-3000 Hz at 5 dB;
  a 5000 Hz whistle and a 1000 Hz carrier at the speech's level with
  white noise at 20 dB, each also alone; the clean speech as a control.

Scores, after aligning each program's output to the clean speech (the delay
found once per program by cross-correlation): SNR and segmental SNR
(256-sample frames where the speech is above -40 dB of its peak frame,
each frame's SNR held to -10..35 dB), averaged over the voices; the gain
is output minus input. The noise-only stretch's floor reduction is the
input's power over the output's between 1 and 2 s (so it is reached within
a second of the start); its isolated peaks are musical_noise.py's count
(warbling tones) from 0.3 to 2 s. A tone's reduction is the output's level
at the tone's frequency over the input's, from 2 s on.

With --receiver it also scores what receivers hand a listener beyond
steady hiss (see receiver_conditions): squelch openings after digital
silence, the noise rising or falling by 10 dB, and clean speech from a
digital source after a digitally silent lead-in, at 8000 and 11025 Hz.

    bench/quality_bench.py BUILD_DIR [--work DIR] [--keep] [--speed] [--receiver]

--impulses runs the impulse conditions instead (impulse_conditions.py: the
noise blanker on clicks, crackle and bursts; --held-out for its second set).

BUILD_DIR holds src/app/file/tarnix-file and bench/speex_denoise (the
release preset's build/release). --speed also times 10 minutes of noisy
speech through each program (best of three).
"""
import argparse
import math
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

from impulse_conditions import read_wav, write_wav
from musical_noise import isolated_peaks

RATE = 11025
LEAD = 2.0  # seconds of silence before the first word
VOICES = [
    (
        "en-gb",
        "The quick brown fox jumps over the lazy dog. "
        "Tune the receiver slowly until the voice is clear. "
        "We will call again at seven o'clock on this frequency.",
    ),
    (
        "en-us+f3",
        "Weather for the coastal waters: wind from the west, four to five, "
        "visibility good. Sea state moderate, becoming rough later tonight.",
    ),
    (
        "en-gb-scotland+m3",
        "Please repeat your last message, your signal is weak and there is "
        "a lot of noise on the band. Over.",
    ),
]

SYSTEMS = [
    ("Tarnix design settings", "tarnix", []),
    ("Tarnix, equalizer off, noise floor 50", "tarnix", ["--no-equalizer", "--noise-floor", "50"]),
    ("Tarnix --enhance", "tarnix", ["--enhance"]),
    ("Tarnix --enhance --expandor", "tarnix", ["--enhance", "--expandor"]),
    ("Tarnix --enhance --heterodyne fast", "tarnix", ["--enhance", "--heterodyne", "fast"]),
    ("SpeexDSP -30 dB, 128", "speex", []),
]
# The 5000 Hz mode, on by default, watches only 4900-5100 Hz: Tarnix takes
# the 1000 Hz carrier with the fast heterodyne reduction.
CARRIER_OPTIONS = ["--heterodyne", "fast"]


def run(cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def energy(x):
    return sum(v * v for v in x)


def make_speech(work, index, voice, text, rate=RATE, lead=LEAD, dither=True):
    raw = os.path.join(work, f"espeak{index}.wav")
    out = os.path.join(work, f"speech{index}-{rate}-{lead}-{dither}.wav")
    run(["espeak-ng", "-v", voice, "-s", "150", "-w", raw, text])
    run(["sox", "-R"] + ([] if dither else ["-D"]) +
        [raw, "-r", str(rate), "-b", "16", "-c", "1", out, "pad", str(lead), "0.5", "norm", "-6"])
    return read_wav(out)


def make_noise(work, kind, seconds, seed):
    path = os.path.join(work, f"noise-{kind}-{seed}.wav")
    synth = {
        "white": ["synth", str(seconds), "whitenoise"],
        "pink": ["synth", str(seconds), "pinknoise", "sinc", "250-3000"],
    }[kind]
    run(["sox", "-R", "-n", "-r", str(RATE), "-b", "16", "-c", "1", path] + synth +
        ["vol", "0.25"])
    return read_wav(path)


def tone(n, hz, amplitude):
    return [amplitude * math.sin(2 * math.pi * hz * i / RATE) for i in range(n)]


def scaled(x, factor):
    return [v * factor for v in x]


def mix(*parts):
    return [sum(v) for v in zip(*parts)]


def to_snr(speech, noise, snr_db):
    """noise scaled so that the speech's energy over its energy is snr_db."""
    return scaled(noise, math.sqrt(energy(speech) / energy(noise) / 10 ** (snr_db / 10)))


def delay_of(reference, output):
    """The lag (0..1100 samples) at which output best matches reference."""
    start, length = int(LEAD * RATE), 3 * RATE
    ref = reference[start:start + length:2]
    best, lag_best = -1.0, 0
    for lag in range(0, 1100, 2):
        seg = output[start + lag:start + lag + length:2]
        c = sum(a * b for a, b in zip(ref, seg))
        if c > best:
            best, lag_best = c, lag
    for lag in range(max(0, lag_best - 2), lag_best + 3):
        seg = output[start + lag:start + lag + length]
        c = sum(a * b for a, b in zip(reference[start:start + length], seg))
        if c > best:
            best, lag_best = c, lag
    return lag_best


def aligned(output, delay, n):
    y = output[delay:delay + n]
    return y + [0.0] * (n - len(y))


def snr(clean, y):
    err = energy([a - b for a, b in zip(clean, y)])
    return 10 * math.log10(energy(clean) / max(err, 1e-9))


def seg_snr(clean, y, frame=256):
    frames = []
    for i in range(0, len(clean) - frame + 1, frame):
        s = clean[i:i + frame]
        e = [a - b for a, b in zip(s, y[i:i + frame])]
        frames.append((energy(s), energy(e)))
    peak = max(f[0] for f in frames)
    values = [
        min(35.0, max(-10.0, 10 * math.log10(se / max(ee, 1e-9))))
        for se, ee in frames
        if se > peak * 1e-4
    ]
    return sum(values) / len(values)


def level_at(x, hz, start):
    """Amplitude of x's component at hz from sample start on (a single DFT bin)."""
    re = im = 0.0
    w = 2 * math.pi * hz / RATE
    for i in range(start, len(x)):
        re += x[i] * math.cos(w * i)
        im += x[i] * math.sin(w * i)
    return math.hypot(re, im) / max(1, len(x) - start)


class Runner:
    def __init__(self, build, work):
        self.tarnix = os.path.join(build, "src/app/file/tarnix-file")
        self.speex = os.path.join(build, "bench/speex_denoise")
        for p in (self.tarnix, self.speex):
            if not os.access(p, os.X_OK):
                sys.exit(f"quality_bench: {p} is missing; build the release preset first")
        self.work = work
        self.count = 0
        self.delays = {}

    def process(self, system, samples, extra=(), rate=RATE):
        name, program, options = system
        if program == "tarnix" and not (extra and extra[0] in options):
            options = options + list(extra)
        self.count += 1
        src = os.path.join(self.work, f"in{self.count}.wav")
        dst = os.path.join(self.work, f"out{self.count}.wav")
        write_wav(src, samples, rate)
        if program == "tarnix":
            run([self.tarnix, "-q"] + options + [src, dst])
        else:
            run([self.speex, src, dst] + options)
        return read_wav(dst)

    def delay(self, system, clean, output):
        if system[0] not in self.delays:
            self.delays[system[0]] = delay_of(clean, output)
        return self.delays[system[0]]


# What receivers hand a listener beyond steady hiss, for the systems that
# take out noise: the squelch, a band that changes, a digital source.
RECEIVER_SYSTEMS = ["Tarnix --enhance", "Tarnix --enhance --heterodyne fast",
                    "SpeexDSP -30 dB, 128"]
OPENINGS = 3


def seeded_noise(n, seed):
    """Gaussian white noise of unit power, the same in every run."""
    rng = random.Random(seed)
    return [rng.gauss(0.0, 1.0) for _ in range(n)]


def reduction(x, y, a, b):
    return 10 * math.log10(energy(x[a:b]) / max(energy(y[a:b]), 1e-9))


def receiver_conditions(runner, work, systems):
    """Rows of the receiver table: name -> one cell per system.

    Squelch: OPENINGS times 2 s of digital silence, then 1.5 s of noise
    alone and the speech in that noise (6 dB under the speech); the noise
    alone turned down from 0.25 to 1 s after each opening. Steps: speech in
    noise, a second of noise alone, the noise 10 dB higher (or lower) from
    then on, 1.5 s of it alone and the speech again; the noise alone turned
    down 0.25-1 s after the step. A digital source: clean speech after 2 s
    of digital silence, at 8000 and 11025 Hz; its output SNR overall and
    over the first 2 s of speech.
    """
    rows = {}

    def add(row, name, value):
        rows.setdefault(row, {}).setdefault(name, []).append(value)

    for v, (voice, text) in enumerate(VOICES):
        for rate in (11025, 8000):
            s = make_speech(work, v, voice, text, rate, 0, False)
            n, second = len(s), rate
            rms = math.sqrt(energy(s) / n)
            quiet = [0.0] * (2 * rate)
            lead = quiet + s
            for system in systems:
                y = aligned(runner.process(system, lead, rate=rate), runner.delays.get(system[0], 0),
                            len(lead))
                add(f"digital source {rate} Hz: output SNR / first 2 s, dB", system[0],
                    (snr(lead[2 * rate:], y[2 * rate:]),
                     snr(lead[2 * rate:4 * rate], y[2 * rate:4 * rate])))
            if rate != RATE:
                continue
            hiss = scaled(seeded_noise(OPENINGS * (3 * rate + n), 100 + v), 0.5 * rms)
            x, opens = [], []
            for o in range(OPENINGS):
                x += quiet
                opens.append(len(x))
                part = [0.0] * (3 * rate // 2) + s
                x += mix(part, hiss[o * len(part):(o + 1) * len(part)])
            for system in systems:
                y = aligned(runner.process(system, x, rate=rate), runner.delays.get(system[0], 0),
                            len(x))
                cells = [reduction(x, y, t + second // 4, t + second) for t in opens]
                add("squelch: noise alone 0.25-1 s after the first opening / the later ones, dB",
                    system[0], (cells[0], min(cells[1:])))
            for step in (10, -10):
                t = n + second
                x = s + [0.0] * (second + 3 * second // 2) + s
                base = seeded_noise(len(x), 200 + v)
                factor = 10 ** (step / 20)
                x = [a + 0.3 * rms * b * (factor if i >= t else 1.0)
                     for i, (a, b) in enumerate(zip(x, base))]
                for system in systems:
                    y = aligned(runner.process(system, x, rate=rate),
                                runner.delays.get(system[0], 0), len(x))
                    add(f"noise {step:+d} dB: noise alone 0.25-1 s after the step, dB", system[0],
                        reduction(x, y, t + second // 4, t + second))
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build")
    parser.add_argument("--work", help="keep the corpus and outputs here")
    parser.add_argument("--speed", action="store_true", help="also time 10 minutes per program")
    parser.add_argument("--only", help="run only the systems whose name contains this")
    parser.add_argument("--receiver", action="store_true",
                        help="also the receiver conditions: squelch, noise steps, a digital source")
    # --- impulse conditions (the noise blanker), a separate corpus and table ---
    parser.add_argument("--impulses", action="store_true",
                        help="run the impulse conditions (clicks, crackle, bursts) instead")
    parser.add_argument("--held-out", action="store_true",
                        help="with --impulses: the second set, not used for tuning")
    args = parser.parse_args()
    work = args.work or tempfile.mkdtemp(prefix="quality_bench.")
    os.makedirs(work, exist_ok=True)
    runner = Runner(args.build, work)
    if args.impulses:
        from impulse_conditions import impulse_main
        impulse_main(runner, held_out=args.held_out, speed=args.speed, only=args.only)
        if not args.work:
            shutil.rmtree(work)
        return
    # --- end of the impulse conditions ---
    systems = [s for s in SYSTEMS if not args.only or args.only in s[0]]

    corpus = []  # (voice index, condition, clean speech, input, tone hz or None, tone alone)
    for v, (voice, text) in enumerate(VOICES):
        speech = make_speech(work, v, voice, text)
        n = len(speech)
        white = make_noise(work, "white", n / RATE + 0.1, v)[:n]
        pink = make_noise(work, "pink", n / RATE + 0.1, v)[:n]
        for db in (0, 5, 10):
            corpus.append((v, f"white {db} dB", speech, mix(speech, to_snr(speech, white, db))))
        corpus.append((v, "pink 250-3000 Hz, 5 dB", speech, mix(speech, to_snr(speech, pink, 5))))
        corpus.append((v, "clean speech", speech, speech))
        rms = math.sqrt(energy(speech) / n)
        hiss = to_snr(speech, white, 20)
        for hz in (5000, 1000):
            t = tone(n, hz, rms * math.sqrt(2))
            corpus.append((v, f"{hz} Hz tone + speech", speech, mix(speech, t, hiss), hz))
            if v == 0:
                corpus.append((v, f"{hz} Hz tone alone", [0.0] * n, mix(t, hiss), hz))
        if v == 0:
            # noise alone: the floor reduction
            corpus.append((v, "white noise alone", [0.0] * n, to_snr(speech, white, 5)))

    results = {}  # (system, condition) -> list of values
    for system in systems:
        for entry in corpus:
            v, cond, clean, noisy = entry[:4]
            hz = entry[4] if len(entry) > 4 else None
            out = runner.process(system, noisy, CARRIER_OPTIONS if hz == 1000 else ())
            n = len(clean)
            if cond == "clean speech" or system[0] not in runner.delays:
                if energy(clean) > 0:
                    runner.delay(system, clean, out)
            d = runner.delays.get(system[0], 0)
            y = aligned(out, d, n)
            key = (system[0], cond)
            if hz:
                start = int(LEAD * RATE)
                x_level = level_at(noisy, hz, start)
                results.setdefault(key, []).append(20 * math.log10(level_at(y, hz, start) / x_level))
            elif energy(clean) == 0:
                a, b = int(1.0 * RATE), int(2.0 * RATE)
                reduction = 10 * math.log10(energy(noisy[a:b]) / max(energy(y[a:b]), 1e-9))
                results.setdefault(key, []).append(reduction)
                results.setdefault((system[0], "peaks"), []).append(isolated_peaks(y, RATE, 0.3, 2.0))
                results[("input", "peaks")] = [isolated_peaks(noisy, RATE, 0.3, 2.0)]
            else:
                out_snr, out_seg = snr(clean, y), seg_snr(clean, y)
                in_snr, in_seg = snr(clean, noisy), seg_snr(clean, noisy)
                results.setdefault(key, []).append((out_snr - in_snr, out_seg - in_seg, out_snr,
                                                    out_seg))
            print(f"  {system[0]} / {cond} / voice {v}: {results[key][-1]}", file=sys.stderr)

    def mean(values):
        return sum(values) / len(values)

    names = [s[0] for s in systems]
    print("| | " + " | ".join(names) + " |")
    print("|---" * (len(names) + 1) + "|")
    noisy_conds = ["white 0 dB", "white 5 dB", "white 10 dB", "pink 250-3000 Hz, 5 dB"]
    for cond in noisy_conds:
        cells = []
        for name in names:
            r = results[(name, cond)]
            cells.append(f"{mean([x[0] for x in r]):+.1f} / {mean([x[1] for x in r]):+.1f}")
        print(f"| {cond}: SNR / segSNR gain, dB | " + " | ".join(cells) + " |")
    cells = []
    for name in names:
        g = [x[0] for c in noisy_conds for x in results[(name, c)]]
        s = [x[1] for c in noisy_conds for x in results[(name, c)]]
        cells.append(f"**{mean(g):+.1f}** / {mean(s):+.1f}")
    print("| mean of the noisy conditions: SNR / segSNR gain, dB | " + " | ".join(cells) + " |")
    cells = []
    for name in names:
        r = results[(name, "clean speech")]
        cells.append(f"{mean([x[2] for x in r]):.1f} / {mean([x[3] for x in r]):.1f}")
    print("| clean speech in: output SNR / segSNR, dB | " + " | ".join(cells) + " |")
    cells = [f"{mean(results[(name, 'white noise alone')]):.1f}" for name in names]
    print("| white noise alone: floor reduction 1-2 s, dB | " + " | ".join(cells) + " |")
    cells = [f"{results[(name, 'peaks')][0]}" for name in names]
    print(f"| white noise alone: isolated peaks 0.3-2 s (input {results[('input', 'peaks')][0]}) | " +
          " | ".join(cells) + " |")
    for hz in (5000, 1000):
        cells = [
            f"{mean(results[(name, f'{hz} Hz tone alone')]):.1f} / "
            f"{mean(results[(name, f'{hz} Hz tone + speech')]):.1f}"
            for name in names
        ]
        print(f"| {hz} Hz tone alone / under speech, dB | " + " | ".join(cells) + " |")

    if args.receiver:
        receiver = [s for s in systems if s[0] in RECEIVER_SYSTEMS]
        rows = receiver_conditions(runner, work, receiver)
        print()
        print("| | " + " | ".join(s[0] for s in receiver) + " |")
        print("|---" * (len(receiver) + 1) + "|")
        for row, cells in rows.items():
            out = []
            for s in receiver:
                values = cells[s[0]]
                if isinstance(values[0], tuple):
                    out.append(" / ".join(f"{mean([v[i] for v in values]):.1f}"
                                          for i in range(len(values[0]))))
                else:
                    out.append(f"{mean(values):.1f}")
            print(f"| {row} | " + " | ".join(out) + " |")

    if args.speed:
        long = os.path.join(work, "long.wav")
        first = os.path.join(work, "in1.wav")
        run(["sox", first, long, "repeat", str(int(600 / (len(read_wav(first)) / RATE)))])
        cells = []
        for system in systems:
            best = math.inf
            for _ in range(3):
                t = time.perf_counter()
                dst = os.path.join(work, "long-out.wav")
                if system[1] == "tarnix":
                    run([runner.tarnix, "-q"] + system[2] + [long, dst])
                else:
                    run([runner.speex, long, dst] + system[2])
                best = min(best, time.perf_counter() - t)
            cells.append(f"{best:.2f} s")
        print("| 10 min at 11025 Hz, wall time (best of 3) | " + " | ".join(cells) + " |")
    print(f"delays: {runner.delays}", file=sys.stderr)
    if not args.work:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
