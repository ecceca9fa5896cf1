"""Impulse conditions for quality_bench.py: clicks, crackle and lightning-like
bursts on speech in hiss, at 8000, 11025 and 44100 Hz, through the noise
blanker alone (bench/blanker_stage: the stage and nothing else), tarnix-file
--blanker (the design's other stages after it), the blanker with speech
enhancement, enhancement alone and SpeexDSP's preprocessor; and the
blanker's repair alone, told where the clicks are (clicks known: what a
perfect detector would leave).

Two corpora, made here the same in every run (sox -R, seeded random
numbers): the tuning set (the three voices of the speech benchmark, bursts
of uniform random samples under a rectangular envelope) and a held-out set
the blanker was not tuned on (two other voices and texts, Poisson arrivals:
decaying ringing clicks at random frequencies with log-uniform amplitudes,
and the targets' clicks, 8 a second of 0.5 to 3 ms up to three quarters of
full scale, as decaying bursts of Gaussian samples).
Speech is normalised to -6 dBFS peak, hiss (white) is 20 dB under it.

Scores, with each output aligned to the input (the delay found once per
program and rate by cross-correlation on clean speech):
  SNR gain: output SNR minus input SNR, the clean speech the reference;
  click power left: the power of what the output still differs from the
    input without its clicks, over the clicks' own power, summed over the
    clicks' own samples (ideal: the gain of taking the clicks out exactly);
  clean speech: output SNR for clean speech in (the worst voice), and the
    5 ms windows the output changed by more than -40 dB of their power
    (false triggers), summed over the voices;
  keyed tone: the same for a hard-keyed 700 Hz tone (20 words a minute,
    -10 dBFS) in faint hiss (60 dB under it).

    bench/quality_bench.py BUILD_DIR --impulses [--held-out] [--speed]
"""
import array
import math
import os
import random
import resource
import subprocess
import sys
import wave

RATES = (8000, 11025, 44100)
TUNING_VOICES = [
    ("en-gb", "The quick brown fox jumps over the lazy dog. "
     "Tune the receiver slowly until the voice is clear."),
    ("en-us+f3", "Weather for the coastal waters: wind from the west, four to five, "
     "visibility good."),
    ("en-gb-scotland+m3", "Please repeat your last message, your signal is weak and there is "
     "a lot of noise on the band."),
]
HELD_OUT_VOICES = [
    ("en-us+m7", "Station calling, you are five by nine here, the static crashes are heavy "
     "tonight but your audio is fine."),
    ("en-gb-x-rp+f4", "Copy that. Switch to the lower frequency and stand by for the "
     "next bulletin at the top of the hour."),
]
FULL_SCALE = 32767.0


def read_wav(path):
    with wave.open(path) as w:
        assert w.getsampwidth() == 2
        data = array.array("h", w.readframes(w.getnframes()))
        if w.getnchannels() > 1:
            data = data[:: w.getnchannels()]
    return [float(x) for x in data]


def write_wav(path, samples, rate):
    clipped = array.array("h", (max(-32767, min(32767, int(round(x)))) for x in samples))
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(clipped.tobytes())


def _run(cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def _energy(x):
    return sum(v * v for v in x)


class Corpus:
    def __init__(self, work, read_wav, write_wav):
        self.work = work
        self.read_wav = read_wav
        self.write_wav = write_wav

    def speech(self, index, voice, text, rate, tag):
        raw = os.path.join(self.work, f"imp-espeak-{tag}{index}.wav")
        out = os.path.join(self.work, f"imp-speech-{tag}{index}-{rate}.wav")
        if not os.path.exists(raw):
            _run(["espeak-ng", "-v", voice, "-s", "150", "-w", raw, text])
        _run(["sox", "-R", raw, "-r", str(rate), "-b", "16", "-c", "1", out, "pad", "0.5", "0.5",
              "norm", "-6"])
        return self.read_wav(out)

    def hiss(self, n, rate, seed):
        path = os.path.join(self.work, f"imp-hiss-{rate}-{seed}.wav")
        _run(["sox", "-R", "-n", "-r", str(rate), "-b", "16", "-c", "1", path, "synth",
              str(n / rate + 0.1), "whitenoise", "vol", "0.25"])
        return self.read_wav(path)[:n]


def burst_clicks(n, rate, per_second, low_ms, high_ms, seed, low_amp=0.1, high_amp=0.75):
    """Tuning set: evenly spread clicks (jittered), each a run of uniform random
    samples of one amplitude under a rectangular envelope."""
    rng = random.Random(seed)
    x = [0.0] * n
    spans = []
    step = rate / per_second
    t = rng.uniform(0.2, 1.0) * step
    while t < n - rate * 0.06:
        width = max(1, int(round(rng.uniform(low_ms, high_ms) * rate / 1000)))
        amp = rng.uniform(low_amp, high_amp) * FULL_SCALE
        start = int(t)
        for i in range(start, min(n, start + width)):
            x[i] = amp * rng.uniform(-1.0, 1.0)
        spans.append((start, min(n, start + width)))
        t += step * rng.uniform(0.6, 1.4)
    return x, spans


def poisson_clicks(n, rate, per_second, low_ms, high_ms, seed, shape):
    """Held-out set: clicks at Poisson arrivals, each of a random width and the
    samples shape(rng, width) gives; added to silence."""
    rng = random.Random(seed)
    x = [0.0] * n
    spans = []
    t = rng.expovariate(per_second) * rate
    while t < n - rate * 0.06:
        width = max(1, int(round(rng.uniform(low_ms, high_ms) * rate / 1000)))
        start = int(t)
        for i, v in enumerate(shape(rng, width)):
            x[start + i] += v
        spans.append((start, start + width))
        t += max(rng.expovariate(per_second) * rate, width + 1)
    return x, spans


def ringing_clicks(n, rate, per_second, low_ms, high_ms, seed):
    """Each click a decaying oscillation at a random frequency and phase (an
    impulse through a receiver's filters), amplitudes log-uniform from 0.05
    to 0.9 of full scale."""
    def shape(rng, width):
        amp = math.exp(rng.uniform(math.log(0.05), math.log(0.9))) * FULL_SCALE
        hz = rng.uniform(300, min(3400, rate * 0.4))
        phase = rng.uniform(0, 2 * math.pi)
        return [amp * math.exp(-3.0 * i / width) * math.cos(2 * math.pi * hz * i / rate + phase)
                for i in range(width)]
    return poisson_clicks(n, rate, per_second, low_ms, high_ms, seed, shape)


def decaying_bursts(n, rate, per_second, low_ms, high_ms, seed, low_amp=0.1, high_amp=0.75):
    """The clicks the targets name (8 a second, 0.5 to 3 ms, up to three
    quarters of full scale) with other statistics than the tuning set's:
    Gaussian samples under an envelope that decays to 1/e^2 over the click,
    the envelope's start uniform in amplitude."""
    def shape(rng, width):
        amp = rng.uniform(low_amp, high_amp) * FULL_SCALE / 2.0
        return [max(-FULL_SCALE, min(FULL_SCALE, amp * math.exp(-2.0 * i / width) * rng.gauss(0.0, 1.0)))
                for i in range(width)]
    return poisson_clicks(n, rate, per_second, low_ms, high_ms, seed, shape)


def lightning(n, rate, per_second, seed):
    """Bursts of 10 to 50 ms: a sharp rise and a noisy decay."""
    rng = random.Random(seed)
    x = [0.0] * n
    spans = []
    t = rng.uniform(0.3, 1.0) * rate / per_second
    while t < n - rate * 0.1:
        width = int(rng.uniform(0.010, 0.050) * rate)
        amp = rng.uniform(0.2, 0.75) * FULL_SCALE
        start = int(t)
        for i in range(width):
            x[start + i] = amp * math.exp(-2.5 * i / width) * rng.uniform(-1.0, 1.0)
        spans.append((start, start + width))
        t += rate / per_second * rng.uniform(0.7, 1.3)
    return x, spans


def keyed_tone(n, rate, hz=700.0, amplitude=0.316):
    """Hard-keyed Morse at 20 words a minute (60 ms dots): 'CQ' repeated."""
    dot = int(0.060 * rate)
    pattern = "1110101110100011101011101110000000"  # C, Q, word space
    x = []
    i = 0
    while len(x) < n:
        on = pattern[i % len(pattern)] == "1"
        for _ in range(dot):
            k = len(x)
            x.append(amplitude * FULL_SCALE * math.sin(2 * math.pi * hz * k / rate) if on else 0.0)
        i += 1
    return x[:n]


KNOWN = "clicks known"
SYSTEMS = [
    ("blanker alone", "stage", []),
    ("--blanker", "tarnix", ["--blanker"]),
    ("--blanker --enhance", "tarnix", ["--blanker", "--enhance"]),
    ("--enhance", "tarnix", ["--enhance"]),
    ("SpeexDSP", "speex", []),
    # The blanker's repair told where the clicks are: what a perfect detector
    # would leave, so that a shortfall can be put on the detection or the
    # repair.
    (KNOWN, "known", []),
]


class ImpulseRunner:
    def __init__(self, runner, read_wav, write_wav):
        self.runner = runner
        self.read_wav = read_wav
        self.write_wav = write_wav
        self.count = 0
        self.delays = {}
        self.stage = os.path.join(os.path.dirname(runner.speex), "blanker_stage")
        if not os.access(self.stage, os.X_OK):
            sys.exit(f"quality_bench: {self.stage} is missing; build the release preset first")

    def process(self, system, samples, rate, spans=()):
        _, program, options = system
        self.count += 1
        src = os.path.join(self.runner.work, f"imp-in{self.count}.wav")
        dst = os.path.join(self.runner.work, f"imp-out{self.count}.wav")
        self.write_wav(src, samples, rate)
        if program == "known":
            # Clicks less than a millisecond apart as one, as the detector
            # takes them.
            merged = []
            for a, b in spans:
                if merged and a - merged[-1][1] < rate // 1000:
                    merged[-1] = (merged[-1][0], b)
                else:
                    merged.append((a, b))
            listing = os.path.join(self.runner.work, f"imp-clicks{self.count}.txt")
            with open(listing, "w") as f:
                f.writelines(f"{a} {b - 1}\n" for a, b in merged)
            _run([self.stage, src, dst, "--clicks", listing])
        elif program == "tarnix":
            _run([self.runner.tarnix, "-q"] + options + [src, dst])
        elif program == "stage":
            _run([self.stage, src, dst] + options)
        else:
            _run([self.runner.speex, src, dst] + options)
        return self.read_wav(dst)

    def delay(self, system, rate, clean, out):
        key = (system[0], rate)
        if key not in self.delays:
            most = rate // 10
            start = len(clean) // 4
            length = min(len(clean) // 2, rate)
            ref = clean[start:start + length]

            def corr(lag, step):
                return sum(a * b for a, b in zip(ref[::step], out[start + lag:start + lag + length:step]))

            coarse = max(range(0, most, 4), key=lambda lag: corr(lag, 4))
            self.delays[key] = max(range(max(0, coarse - 4), coarse + 5), key=lambda lag: corr(lag, 1))
        return self.delays[key]


def _aligned(out, d, n):
    y = out[d:d + n]
    return y + [0.0] * (n - len(y))


def _snr(ref, y):
    return 10 * math.log10(_energy(ref) / max(_energy([a - b for a, b in zip(ref, y)]), 1e-9))


def _changed_windows(x, y, rate):
    w = max(1, rate // 200)
    count = 0
    for i in range(0, len(x) - w + 1, w):
        e = _energy([a - b for a, b in zip(x[i:i + w], y[i:i + w])])
        if e > max(1e-4 * _energy(x[i:i + w]), 16.0 * w):
            count += 1
    return count


def make_conditions(corpus, held_out):
    """(name, rate, clean reference, input, click spans, input without the
    clicks) for every condition."""
    voices = HELD_OUT_VOICES if held_out else TUNING_VOICES
    tag = "h" if held_out else "t"
    conds = []
    for rate in RATES:
        for v, (voice, text) in enumerate(voices):
            speech = corpus.speech(v, voice, text, rate, tag)
            n = len(speech)
            hiss = corpus.hiss(n, rate, 10 * v + (5 if held_out else 0))
            scale = math.sqrt(_energy(speech) / _energy(hiss) / 100.0)  # 20 dB
            noisy = [a + b * scale for a, b in zip(speech, hiss)]
            seed = 1000 * rate + 10 * v + (7 if held_out else 0)
            if held_out:
                variants = [
                    ("8 clicks/s, 0.5-3 ms", ringing_clicks(n, rate, 8, 0.5, 3.0, seed)),
                    ("8 bursts/s, 0.5-3 ms", decaying_bursts(n, rate, 8, 0.5, 3.0, seed + 4)),
                    ("3 clicks/s, 0.2-1 ms", ringing_clicks(n, rate, 3, 0.2, 1.0, seed + 1)),
                    ("25 clicks/s, 0.3-5 ms", ringing_clicks(n, rate, 25, 0.3, 5.0, seed + 2)),
                ]
            else:
                variants = [
                    ("8 clicks/s, 0.5-3 ms", burst_clicks(n, rate, 8, 0.5, 3.0, seed)),
                    ("2 clicks/s, 0.2-1 ms", burst_clicks(n, rate, 2, 0.2, 1.0, seed + 1)),
                    ("30 clicks/s, 0.2-5 ms", burst_clicks(n, rate, 30, 0.2, 5.0, seed + 2)),
                ]
            variants.append(("lightning 10-50 ms, 1/s", lightning(n, rate, 1, seed + 3)))
            for name, (clicks, spans) in variants:
                conds.append((name, rate, speech, [a + b for a, b in zip(noisy, clicks)], spans,
                              noisy))
            conds.append(("clean speech", rate, speech, speech, [], speech))
            if v == 0:
                tone = keyed_tone(n, rate)
                faint = [t + h * scale * 0.01 for t, h in zip(tone, hiss)]
                conds.append(("keyed 700 Hz tone", rate, faint, faint, [], faint))
    return conds


def impulse_main(runner, held_out=False, speed=False, only=None):
    corpus = Corpus(runner.work, read_wav, write_wav)
    imp = ImpulseRunner(runner, read_wav, write_wav)
    systems = [s for s in SYSTEMS if not only or only in s[0]]
    conds = make_conditions(corpus, held_out)
    results = {}
    # Each program's delay from clean speech first.
    for system in systems:
        for name, rate, clean, noisy, spans, _ in conds:
            if name == "clean speech" and (system[0], rate) not in imp.delays:
                imp.delay(system, rate, clean, imp.process(system, clean, rate))
    for system in systems:
        for name, rate, clean, noisy, spans, unclicked in conds:
            # A lightning stroke is longer than the longest gap the repair fills.
            if system[0] == KNOWN and name.startswith("lightning"):
                continue
            out = imp.process(system, noisy, rate, spans)
            y = _aligned(out, imp.delays[(system[0], rate)], len(clean))
            key = (system[0], name, rate)
            if spans:
                gain = _snr(clean, y) - _snr(clean, noisy)
                # The clicks' power left: what the output still differs from
                # the input without its clicks, over the clicks' own power.
                inside = [i for a, b in spans for i in range(a, b)]
                left = sum((y[i] - unclicked[i])**2 for i in inside)
                power = sum((noisy[i] - unclicked[i])**2 for i in inside)
                value = (gain, 10 * math.log10(max(left, 1e-9) / power))
                if system is systems[0]:
                    ideal = _snr(clean, unclicked) - _snr(clean, noisy)
                    results.setdefault(("ideal", name, rate), []).append((ideal, 0.0))
            else:
                value = (_snr(clean, y), _changed_windows(clean, y, rate))
            results.setdefault(key, []).append(value)
            print(f"  {system[0]} / {name} / {rate} Hz: {value[0]:.1f} {value[1]}", file=sys.stderr)

    names = [s[0] for s in systems] + ["ideal"]
    title = "held-out set" if held_out else "tuning set"
    print(f"\nImpulses, {title}: SNR gain, dB / click power left, dB; clean input: output SNR, dB / "
          "5 ms windows changed by more than -40 dB")
    print("| | | " + " | ".join(names) + " |")
    print("|---" * (len(names) + 2) + "|")
    order = []
    for name, rate, *_ in conds:
        if (name, rate) not in order:
            order.append((name, rate))
    for name, rate in order:
        cells = []
        for s in names:
            r = results.get((s, name, rate))
            if not r:
                cells.append("")
                continue
            a = sum(x[0] for x in r) / len(r)
            b = sum(x[1] for x in r) / len(r)
            # Clean input: the worst voice's SNR (a mean of decibels would
            # hide one voice's false trigger behind two perfect ones).
            cells.append(f"{a:+.1f} / {b:.1f}" if name not in ("clean speech", "keyed 700 Hz tone")
                         else f"{min(x[0] for x in r):.1f} / {sum(x[1] for x in r)}")
        print(f"| {name} | {rate} | " + " | ".join(cells) + " |")

    if speed:
        speed_pairs(runner, corpus, read_wav, write_wav)


def speed_pairs(runner, corpus, read_wav, write_wav, pairs=5):
    """10 minutes of clicky speech at 11025 Hz: tarnix-file --blanker (and with
    --enhance) against SpeexDSP, run in alternation; the median of the
    per-pair ratios of CPU time, with their spread."""
    rate = 11025
    speech = corpus.speech(0, *TUNING_VOICES[0], rate, "t")
    n = len(speech)
    hiss = corpus.hiss(n, rate, 0)
    scale = math.sqrt(_energy(speech) / _energy(hiss) / 100.0)
    clicks, _ = burst_clicks(n, rate, 8, 0.5, 3.0, 1)
    one = os.path.join(runner.work, "imp-speed-one.wav")
    write_wav(one, [a + b * scale + c for a, b, c in zip(speech, hiss, clicks)], rate)
    long = os.path.join(runner.work, "imp-speed-long.wav")
    _run(["sox", one, long, "repeat", str(int(600 / (n / rate)))])
    dst = os.path.join(runner.work, "imp-speed-out.wav")

    def timed(cmd):
        # CPU time (user + system) of the whole process: the machine's other
        # load moves it less than the wall time.
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        _run(cmd)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)

    for label, options in (("--blanker", ["--blanker"]), ("--blanker --enhance", ["--blanker", "--enhance"])):
        ratios, ours, theirs = [], [], []
        for _ in range(pairs):
            a = timed([runner.tarnix, "-q"] + options + [long, dst])
            b = timed([runner.speex, long, dst])
            ours.append(a)
            theirs.append(b)
            ratios.append(b / a)
        ratios.sort()
        print(f"| speed, 10 min at 11025 Hz, tarnix-file {label} vs SpeexDSP | "
              f"{ratios[len(ratios) // 2]:.2f}x faster (pairs {ratios[0]:.2f}-{ratios[-1]:.2f}; "
              f"{min(ours):.2f} s against {min(theirs):.2f} s) |")
