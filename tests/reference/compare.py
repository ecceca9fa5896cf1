#!/usr/bin/env python3
"""Runs tarnix-file and the reference model on generated inputs and checks
that they write the same samples.

    python3 tests/reference/compare.py path/to/tarnix-file [--keep DIR] [-k PATTERN]

The inputs are made here, deterministically: pseudo-random noise, a 5000 Hz
whistle that stops at 0.75 s, a low hum, speech-like harmonic bursts and a
short loud stretch; and a quiet tone followed by full-scale noise, which
drives the output into clipping.  Every case reports whether the
two outputs are identical, and otherwise the first differing sample, the
number of differing samples and the largest difference.  A case whose output
is silent throughout is reported as a failure too, since it compares nothing.
Exit code 0 only when every case is identical.
"""

import argparse
import math
import os
import struct
import subprocess
import sys
import tempfile
import time
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
MODEL = os.path.join(HERE, 'tarnix_model.py')

DURATION = 1.5  # seconds; the model is pure Python, keep inputs short

DEFAULTS = []
NOISE_FLOOR = ['--no-equalizer', '--noise-floor', '30']
TIME_DOMAIN = ['--prefilter', 'voice', '--lms', '--combiner',
               '--exponential', '0.5', '--averaging', '--heterodyne', 'fast']
BANDS = ['--band', 'voice-wide', '--stop', '1000-1200',
         '--min-amplitude', '300']
MUSIC = ['--prefilter', 'music', '--no-expandor', '--heterodyne', 'slow']
# Raw path: no equalizer fade-in, no expandor, lowest minimum amplitude.
RAW = ['--no-equalizer', '--no-expandor', '--min-amplitude', '0',
       '--heterodyne', 'off']
# Later band options override earlier ones; the notch adds to a preset.
BAND_ORDER = ['--band', 'stop-all', '--pass', '300-3500', '--band',
              'notch-wide', '--band', 'stop-below-200', '--noise-floor', '150',
              '--no-equalizer']
BOUNDARIES = ['--no-equalizer', '--band', 'stop-above-3000',
              '--stop', '1000-1500']

# (name, rate, options, input kind); see INPUTS
CASES = [
    ('defaults', 8000, DEFAULTS, 'mix'),
    ('defaults', 11025, DEFAULTS, 'mix'),
    ('defaults', 22050, DEFAULTS, 'mix'),
    ('defaults', 44100, DEFAULTS, 'mix'),
    ('defaults-stereo', 8000, ['--stereo'], 'mix'),
    ('defaults-stereo', 11025, ['--stereo'], 'mix'),
    ('defaults-stereo', 22050, ['--stereo'], 'mix'),
    ('defaults-stereo', 44100, ['--stereo'], 'mix'),
    ('noise-floor', 11025, NOISE_FLOOR, 'mix'),
    ('noise-floor-stereo', 44100, ['--stereo'] + NOISE_FLOOR, 'mix'),
    ('time-domain', 8000, TIME_DOMAIN, 'mix'),
    ('time-domain-stereo', 22050, ['--stereo'] + TIME_DOMAIN, 'mix'),
    ('bands', 11025, BANDS, 'mix'),
    ('bands-stereo', 44100, ['--stereo'] + BANDS, 'mix'),
    ('music', 22050, MUSIC, 'mix'),
    ('music-stereo', 8000, ['--stereo'] + MUSIC, 'mix'),
    # The 5000 Hz notch engages (and is lifted after the whistle stops) only
    # when the equalizer does not lift the whistle's neighbours.
    ('notch', 11025, ['--no-equalizer'], 'mix'),
    ('notch-stereo', 44100, ['--stereo', '--no-equalizer'], 'mix'),
    ('raw', 11025, RAW, 'mix'),
    ('raw-stereo', 22050, ['--stereo'] + RAW, 'mix'),
    ('clipping', 11025, DEFAULTS, 'burst'),
    ('clipping-stereo', 8000, ['--stereo'], 'burst'),
    ('band-order', 16000, BAND_ORDER, 'mix'),
    ('defaults-48k', 48000, DEFAULTS, 'mix'),
    # Inputs shorter than a block: the output still needs the frames that
    # read the zeros after the end (silent with the filter's fade-in, so
    # these run in pass-through).
    ('short', 11025, ['--check-pass-through'], 'short'),
    ('short-stereo', 44100, ['--stereo', '--check-pass-through'], 'short'),
    # Bins that fall exactly on limits: at 8000 Hz bins lie on 1000, 1500,
    # 2500 and 3000 Hz (the presets compare strictly; --stop takes the bins
    # from the first one at or above LO up to the first one at or above HI);
    # at 20480 Hz bin 10 lies on 200 Hz, where the stereo comb stops centring.
    ('exact-limits', 8000, BOUNDARIES, 'mix'),
    ('exact-voice-narrow', 8000, ['--no-equalizer', '--band', 'voice-narrow'],
     'mix'),
    ('comb-200hz-stereo', 20480, ['--stereo', '--no-equalizer'], 'mix'),
    # Framing and overlap-add alone: the synthesis spectrum is the analysed
    # one unchanged (times 16 per channel in stereo).
    ('pass-through', 11025, ['--check-pass-through'], 'mix'),
    ('pass-through-stereo', 44100, ['--stereo', '--check-pass-through'],
     'mix'),
]


# --------------------------------------------------------------------------
# Input generation
# --------------------------------------------------------------------------

class Lcg:
    """Small deterministic generator, the same on every machine."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def uniform(self):
        """Uniform in [-1, 1)."""
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return (self.state >> 8) / float(1 << 23) - 1.0


def speech_like(t, rate):
    """Harmonic bursts: 220 ms on, 110 ms off, gliding pitch, two formants."""
    period = 0.33
    phase_in_burst = t % period
    if phase_in_burst > 0.22:
        return 0.0
    envelope = math.sin(math.pi * phase_in_burst / 0.22)
    burst = int(t / period)
    f0 = 110.0 + 25.0 * burst + 40.0 * phase_in_burst
    formant1 = 500.0 + 150.0 * (burst % 3)
    formant2 = 1500.0 + 300.0 * (burst % 4)
    total = 0.0
    h = 1
    while h * f0 < min(3800.0, rate / 2.0):
        f = h * f0
        weight = (math.exp(-((f - formant1) / 250.0) ** 2)
                  + 0.6 * math.exp(-((f - formant2) / 400.0) ** 2) + 0.05)
        total += weight * math.sin(2.0 * math.pi * f0 * h * t)
        h += 1
    return 3500.0 * envelope * total


def make_input(rate, seconds=DURATION, seed=2024):
    rng = Lcg(seed + rate)
    samples = []
    for i in range(int(seconds * rate)):
        t = i / rate
        v = 1200.0 * rng.uniform()
        if t < 0.75:                                          # whistle
            v += 2500.0 * math.sin(2.0 * math.pi * 5000.0 * t)
        v += 1500.0 * math.sin(2.0 * math.pi * 150.0 * t)    # hum
        v += speech_like(t, rate)
        if 1.15 <= t < 1.3:                                   # loud stretch
            v += 30000.0 * math.sin(2.0 * math.pi * 700.0 * t)
        samples.append(max(-32768, min(32767, int(round(v)))))
    return samples


def make_burst_input(rate, seconds=DURATION, seed=77):
    """A quiet 300 Hz tone, then full-scale noise from 1.0 s on.  The
    equalizer lifts the long-quiet bins, and the burst then overflows the
    output: this exercises clipping in mono too."""
    rng = Lcg(seed + rate)
    samples = []
    for i in range(int(seconds * rate)):
        t = i / rate
        v = 3000.0 * math.sin(2.0 * math.pi * 300.0 * t) + 20.0 * rng.uniform()
        if t >= 1.0:
            v += 40000.0 * rng.uniform()
        samples.append(max(-32768, min(32767, int(round(v)))))
    return samples


INPUTS = {
    'mix': make_input,
    'burst': make_burst_input,
    # Shorter than one block, and of a length that is no multiple of a hop.
    'short': lambda rate: make_input(rate, seconds=0.0917),
}


def write_wav(path, rate, samples):
    with wave.open(path, 'wb') as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(struct.pack(f'<{len(samples)}h', *samples))


def read_wav(path):
    with wave.open(path, 'rb') as w:
        params = (w.getnchannels(), w.getsampwidth(), w.getframerate(),
                  w.getnframes())
        data = w.readframes(w.getnframes())
    return params, struct.unpack(f'<{len(data) // 2}h', data)


# --------------------------------------------------------------------------
# Comparison
# --------------------------------------------------------------------------

def run(cmd):
    r = subprocess.run(cmd, capture_output=True, text=True)
    if r.returncode != 0:
        raise RuntimeError(f'{" ".join(cmd)} exited {r.returncode}: '
                           f'{r.stderr.strip()}')


def compare_outputs(model_path, program_path):
    """Returns (ok, message)."""
    mp, m = read_wav(model_path)
    pp, p = read_wav(program_path)
    if mp != pp:
        return False, f'format differs: model {mp}, program {pp}'
    diffs = [i for i in range(len(m)) if m[i] != p[i]]
    peak = max((abs(v) for v in m), default=0)
    clipped = sum(1 for v in m if abs(v) == 32767)
    nonzero = sum(1 for v in m if v != 0)
    stats = f'peak {peak}, {nonzero}/{len(m)} nonzero, {clipped} clipped'
    if diffs:
        channels = mp[0]
        first = diffs[0]
        largest = max(abs(m[i] - p[i]) for i in diffs)
        return False, (f'DIFFER: first at value {first} (frame '
                       f'{first // channels}), {len(diffs)} differing, '
                       f'max |diff| {largest}; model {m[first]} vs program '
                       f'{p[first]}; {stats}')
    if nonzero == 0:
        return False, 'both outputs silent: the case checks nothing'
    return True, f'identical ({stats})'


def main():
    ap = argparse.ArgumentParser(description='Compare tarnix-file with the '
                                 'reference model.')
    ap.add_argument('program', help='path to the tarnix-file binary')
    ap.add_argument('--keep', metavar='DIR',
                    help='write inputs and outputs here and keep them')
    ap.add_argument('-k', metavar='PATTERN', default='',
                    help='run only cases whose name contains PATTERN')
    args = ap.parse_args()

    program = os.path.abspath(args.program)
    if not os.access(program, os.X_OK):
        print(f'{program}: not an executable', file=sys.stderr)
        return 2

    tmp = None
    if args.keep:
        workdir = args.keep
        os.makedirs(workdir, exist_ok=True)
    else:
        tmp = tempfile.TemporaryDirectory(prefix='tarnix-compare-')
        workdir = tmp.name

    inputs = {}
    failures = 0
    started = time.time()
    for name, rate, options, kind in CASES:
        if args.k not in name:
            continue
        if (kind, rate) not in inputs:
            path = os.path.join(workdir, f'input-{kind}-{rate}.wav')
            write_wav(path, rate, INPUTS[kind](rate))
            inputs[kind, rate] = path
        tag = f'{name}-{rate}'
        model_out = os.path.join(workdir, f'{tag}-model.wav')
        program_out = os.path.join(workdir, f'{tag}-program.wav')
        t0 = time.time()
        try:
            source = inputs[kind, rate]
            run([program, '-q'] + options + [source, program_out])
            run([sys.executable, MODEL] + options + [source, model_out])
            ok, message = compare_outputs(model_out, program_out)
        except RuntimeError as e:
            ok, message = False, f'ERROR: {e}'
        failures += 0 if ok else 1
        print(f'{"PASS" if ok else "FAIL"} {tag:28s} {" ".join(options) or "(defaults)"}'
              f'\n     {message} [{time.time() - t0:.1f} s]', flush=True)

    print(f'{failures} failing case(s); {time.time() - started:.0f} s total')
    if tmp is not None:
        tmp.cleanup()
    return 0 if failures == 0 else 1


if __name__ == '__main__':
    sys.exit(main())
