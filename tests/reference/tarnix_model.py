#!/usr/bin/env python3
"""Independent reference model of Tarnix's audio path, in plain Python.

    tarnix_model.py [options] INPUT.wav OUTPUT.wav

Takes a 16-bit mono WAV at 8000..48000 Hz and writes the 16-bit WAV that
tarnix-file writes for the same options: what the playback device would
play, shifted by the pipeline's delay of 512 samples, with the input's rate
and length (two channels with --stereo).

Everything is computed in IEEE doubles, one operation at a time in the order
the engine performs them, so the result is expected to match tarnix-file
sample for sample.  Only the standard library is used.

The audio path, in the order the engine runs it:
  input conditioning   16-bit samples to doubles, then the optional FIR
                       prefilter, LMS predictor, linear combiner and
                       exponential filter (sample by sample, state kept)
  block pipeline       blocks of 2048 (rate < 22050) or 4096 samples, cut into
                       1024-sample frames advanced by 256; Hann window,
                       forward transform, spectral filter, inverse transform,
                       overlap-add with truncation, division and clipping
  spectral filter      per-bin magnitudes with equalizer gains, averaging,
                       noise floor, minimum amplitude, heterodyne notches,
                       band mask, expandor, absolute gate, stereo comb pan
  equalizer update     once per block when the equalizer is on

Since the flow control never drops or reorders a block when the input comes
from a file, the played stream is the overlap-add of all frames into one
continuous stream; the ring of ten slots is not modelled.
"""

import argparse
import math
import struct
import sys
import wave

TWO_PI = 6.283185307179586

FFT_SIZE = 1024
HOP = 256
HALF_SIZE = 512
INDEX_MASK = 1023
BIN_COUNT = 512
BIN_LOW = 2
BIN_HIGH = 511

# Delay of the pipeline (two hops): output sample n is played sample n + 512.
OUTPUT_DELAY = 512

INT32_MIN = -2147483648
INT32_MAX = 2147483647


# --------------------------------------------------------------------------
# Integer helpers with C semantics
# --------------------------------------------------------------------------

def truncate_to_int32(x):
    """double -> int32 conversion by truncation toward zero.

    Out-of-range values (and NaN) give INT32_MIN, which is what the x86
    conversion instruction produces; it never happens for sane inputs.
    """
    if x != x or x >= 2147483648.0 or x <= -2147483649.0:
        return INT32_MIN
    return int(x)


def c_div(a, b):
    """Integer division truncating toward zero (Python's // floors)."""
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b > 0) else -q


# --------------------------------------------------------------------------
# Transform (radix 2, recurrence-stepped twiddles)
# --------------------------------------------------------------------------

class Fft:
    """Radix-2 transform on separate real and imaginary arrays.

    Per stage s (blocks of B = 2^(s+1) points, delta = 2pi/B) ten table
    values are stored; each block of a stage starts a three-term recurrence
    from them.  Note the stepping direction: the 'forward' tables seed the
    recurrence with angles -2*delta, -delta, so the factors used are
    cos(j*delta) + i*sin(j*delta); the inverse ones run the other way.
    """

    def __init__(self, n):
        self.n = n
        self.log2_size = n.bit_length() - 1
        self.size = float(n)
        self.tables = []  # per stage: (forward 5-tuple, inverse 5-tuple)
        block = 2
        while block <= n:
            delta = TWO_PI / block
            forward = (math.sin(-2 * delta), math.sin(-delta),
                       math.cos(-2 * delta), math.cos(-delta),
                       2 * math.cos(-delta))
            inverse = (math.sin(2 * delta), math.sin(delta),
                       math.cos(2 * delta), math.cos(delta),
                       2 * math.cos(delta))
            self.tables.append((forward, inverse))
            block *= 2
        self.bit_reversed = [self._reverse_bits(i) for i in range(n)]
        # The recurrence restarts from the same seeds at every block start of
        # a stage, so its sequence of factors is the same for each block;
        # computing it once here gives bit-identical factors.
        self.factors = [(self._stage_factors(fwd, 1 << s),
                         self._stage_factors(inv, 1 << s))
                        for s, (fwd, inv) in enumerate(self.tables)]

    def _reverse_bits(self, i):
        j = 0
        for _ in range(self.log2_size):
            j = (j << 1) | (i & 1)
            i >>= 1
        return j

    @staticmethod
    def _stage_factors(table, half_block):
        """The (ar0, ai0) pairs the recurrence yields for j = 0 .. E-1."""
        sm2, sm1, cm2, cm1, w = table
        ar2, ar1, ai2, ai1 = cm2, cm1, sm2, sm1
        out = []
        for _ in range(half_block):
            ar0 = w * ar1 - ar2
            ar2 = ar1
            ar1 = ar0
            ai0 = w * ai1 - ai2
            ai2 = ai1
            ai1 = ai0
            out.append((ar0, ai0))
        return out

    def transform(self, inverse, re_in, im_in):
        """Returns (re_out, im_out); im_in may be None (no imaginary input)."""
        n = self.n
        rev = self.bit_reversed
        re = [0.0] * n
        im = [0.0] * n
        if im_in is not None:
            for i in range(n):
                j = rev[i]
                re[j] = re_in[i]
                im[j] = im_in[i]
        else:
            for i in range(n):
                re[rev[i]] = re_in[i]

        half = 1  # E, the block end offset
        for stage in range(self.log2_size):
            block = half * 2
            factors = self.factors[stage][1 if inverse else 0]
            for b in range(0, n, block):
                j = b
                for ar0, ai0 in factors:
                    k = j + half
                    rk = re[k]
                    ik = im[k]
                    tr = ar0 * rk - ai0 * ik
                    ti = ar0 * ik + ai0 * rk
                    rj = re[j]
                    ij = im[j]
                    re[k] = rj - tr
                    im[k] = ij - ti
                    re[j] = rj + tr
                    im[j] = ij + ti
                    j += 1
            half = block

        if inverse:
            size = self.size
            re = [v / size for v in re]
            im = [v / size for v in im]
        return re, im


def make_window(n):
    """Periodic Hann window: 0.5 - 0.5*cos(i*2pi/n)."""
    return [0.5 - 0.5 * math.cos(i * TWO_PI / n) for i in range(n)]


def apply_window(table, buf):
    return [buf[i] * table[i] for i in range(len(buf))]


def bin_fraction(n, i):
    if i >= n:
        return 0.0
    if i > (n >> 1):
        return (n - i) / n
    return i / n


# --------------------------------------------------------------------------
# FIR prefilters
# --------------------------------------------------------------------------

class FirFilter:
    """Windowed-sinc band-pass with a circular delay line."""

    def __init__(self, taps, sample_rate, low_hz, high_hz):
        self.taps = taps
        self.position = 0
        self.delay = [0.0] * taps
        self.coefficients = [0.0] * taps
        self._design_band_pass(sample_rate, low_hz, high_hz)
        self._apply_hann_window()

    def _design_band_pass(self, fs, f1, f2):
        n = self.taps
        c = self.coefficients
        pi = TWO_PI / 2
        w1 = TWO_PI * f1 / fs
        w2 = TWO_PI * f2 / fs
        if n % 2 == 1:
            c[(n - 1) // 2] = (w2 - w1) / pi
        centre = (n - 1) / 2
        for i in range(n // 2):
            t = i - centre
            c[i] = (math.sin(w2 * t) - math.sin(w1 * t)) / (pi * t)
            c[n - 1 - i] = c[i]

    def _apply_hann_window(self):
        n = self.taps
        c = self.coefficients
        phi = TWO_PI / n
        if n % 2 == 1:
            mid = (n - 1) // 2
            c[mid] = c[mid] * (0.5 - 0.5 * math.cos(((n - 1) / 2) * phi))
        for i in range(n // 2):
            h = 0.5 - 0.5 * math.cos(i * phi)
            c[i] = c[i] * h
            c[n - 1 - i] = c[n - 1 - i] * h

    def filter(self, x):
        n = self.taps
        line = self.delay
        line[self.position] = x
        self.position += 1
        if self.position == n:
            self.position = 0
        # j = 0 is the sample just stored, j = n-1 the oldest.
        newest = self.position - 1
        c = self.coefficients
        acc = 0.0
        for j in range(n):
            acc += c[j] * line[(newest - j) % n]
        return acc


# --------------------------------------------------------------------------
# Adaptive filters
# --------------------------------------------------------------------------

class LmsFilter:
    """71-tap LMS linear predictor (adaptive line enhancer)."""

    TAPS = 71
    STEP = 1e-11

    def __init__(self):
        self.weights = [0.0] * self.TAPS
        self.history = [0.0] * self.TAPS
        self.position = 0

    def filter(self, x):
        n = self.TAPS
        p = self.position
        w = self.weights
        h = self.history
        y = 0.0
        for i in range(n):
            y += w[i] * h[(p + i) % n]
        e = (x - y) * self.STEP
        for i in range(n):
            w[i] = w[i] + e * h[(p + i) % n]
        h[p] = x
        p += 1
        self.position = 0 if p == n else p
        return y


class LinearCombiner:
    """Three-stage linear network over the last three samples, tuned by
    perturbing one weight per sample."""

    START_WEIGHTS = [
        # W1
        1.0, 1.0, 0.7141119999997576,
        1.0, 1.0, 0.7298039999999519,
        1.0, 1.0, 0.8415110000002198,
        # W2
        0.43214600000004094, 0.470166000000053, 0.6757199999996701,
        0.4165180000000435, 0.4604940000000542, 0.6857999999996616,
        0.4114980000000436, 0.48239200000005145, 0.686891999999675,
        # W3
        0.17453800000003686, 0.17409400000003825, 0.1659070000000389,
        0.1784320000000374, 0.20086900000003816, 0.16855600000003912,
        0.18012400000003725, 0.15894700000003867, 0.1729330000000383,
    ]

    def __init__(self):
        self.write = 0
        self.read = 0
        self.history = [0.0, 0.0, 0.0]
        self.output = 0.0
        self.error_before = 0.0
        self.error_after = 0.0
        self.stage1 = [0.0] * 3
        self.stage2 = [0.0] * 3
        self.stage3 = [0.0] * 3
        self.weights = list(self.START_WEIGHTS)
        self.probe_matrix = 0
        self.probe_row = 0
        self.probe_column = 0

    def evaluate(self):
        w = self.weights
        self.read = self.write
        self.output = 0.0
        for r in range(3):
            self.stage1[r] = self.history[self.read] * w[3 * r + 2]
            self.read = (self.read + 1) % 3
        for j in range(3):
            acc = 0.0
            for i in range(3):
                acc += self.stage1[i] * w[9 + 3 * j + i]
            self.stage2[j] = acc
        for j in range(3):
            acc = 0.0
            for i in range(3):
                acc += self.stage2[i] * w[18 + 3 * j + i]
            self.stage3[j] = acc
        out = 0.0
        for i in range(3):
            out += self.stage3[i] * (w[18 + 3 * i] + w[18 + 3 * i + 1]
                                     + w[18 + 3 * i + 2])
        self.output = out

    def _advance_probe(self):
        self.probe_matrix += 1
        if self.probe_matrix == 3:
            self.probe_matrix = 0
            self.probe_row += 1
            if self.probe_row == 3:
                self.probe_row = 0
                self.probe_column += 1
                if self.probe_column == 3:
                    self.probe_column = 0

    def filter(self, x):
        self.history[self.write] = x
        self.write = (self.write + 1) % 3
        self._advance_probe()
        q = 9 * self.probe_matrix + 3 * self.probe_row + self.probe_column
        old = self.weights[q]
        step = (self.probe_matrix + 1) * 0.001

        self.evaluate()
        y1 = self.output
        self.error_before = abs(x - y1)

        self.weights[q] = old + step
        self.evaluate()
        self.error_after = abs(x - self.output)
        if self.error_after < self.error_before:
            return self.output

        self.weights[q] = old - step
        self.evaluate()
        self.error_after = abs(x - self.output)
        if self.error_after < self.error_before:
            return self.output

        self.weights[q] = old
        return y1


# --------------------------------------------------------------------------
# Engine settings
# --------------------------------------------------------------------------

class Settings:
    """Engine switches after start-up and the command-line options."""

    def __init__(self):
        self.simulated_stereo = 0
        self.voice_prefilter_on = 0
        self.music_prefilter_on = 0
        self.lms_filter_on = 0
        self.linear_combiner_on = 0
        self.exponential_factor = 0.0
        self.noise_floor_factor = 0.0
        self.heterodyne_mode = 1
        self.equalizer_on = 1
        self.expandor_on = 1
        self.averaging_on = 0
        self.show_peaks = 0
        self.min_amplitude = None  # None: the start-up value 1200.0
        self.band_ops = []         # ('band', name) / ('pass'|'stop', lo, hi)
        self.pass_through = 0      # synthesis = unchanged copy (check mode)


# --------------------------------------------------------------------------
# Input conditioning
# --------------------------------------------------------------------------

class InputConditioner:
    """Converts captured samples to doubles and runs the enabled filters,
    keeping every filter's state from block to block."""

    def __init__(self, settings, sample_rate):
        self.s = settings
        self.voice_low = FirFilter(71, sample_rate, 100.0, 800.0)
        self.voice_high = FirFilter(31, sample_rate, 1300.0, 4400.0)
        self.music = FirFilter(101, sample_rate, 80.0, 4800.0)
        self.lms = LmsFilter()
        self.combiner = LinearCombiner()
        self.exponential_memory = 0.0

    def condition_block(self, samples):
        s = self.s
        block = [float(v) for v in samples]
        n = len(block)
        if s.voice_prefilter_on:
            for i in range(n):
                x = block[i]
                block[i] = self.voice_high.filter(x) + self.voice_low.filter(x)
        if s.music_prefilter_on:
            for i in range(n):
                block[i] = self.music.filter(block[i])
        if s.lms_filter_on:
            for i in range(n):
                block[i] = self.lms.filter(block[i])
        if s.linear_combiner_on:
            for i in range(n):
                block[i] = self.combiner.filter(block[i])
        a = s.exponential_factor
        if a != 0.0:
            mem = self.exponential_memory
            for i in range(n):
                y = (1.0 - a) * mem + a * block[i]
                mem = y
                block[i] = y
            self.exponential_memory = mem
        return block


# --------------------------------------------------------------------------
# Spectral filter
# --------------------------------------------------------------------------

class SpectralFilter:
    """Per-bin state and the frame and equalizer operations."""

    def __init__(self, settings, sample_rate):
        self.s = settings
        self.bin_frequency = [bin_fraction(FFT_SIZE, k) * sample_rate
                              for k in range(BIN_COUNT)]
        self.minimum_amplitude = [1200.0] * BIN_COUNT
        self.band_mask = [0] * BIN_COUNT
        self.floor_average = [0.0] * BIN_COUNT
        self.heterodyne_counters = [0] * BIN_COUNT
        self.equalizer_gain = [0.0] * BIN_COUNT
        self.equalizer_sum = [0.0] * BIN_COUNT
        self.display_sum = [0.0] * BIN_COUNT
        self.peak_spectrum = [0.0] * BIN_COUNT
        self.frame_count = 0
        self.spectrum_re = [[0.0] * FFT_SIZE for _ in range(3)]
        self.spectrum_im = [[0.0] * FFT_SIZE for _ in range(3)]
        self.magnitude = [[0.0] * BIN_COUNT for _ in range(3)]
        self.analysis_slot = 0
        self.synthesis_slot = 1
        self.synth_re = [0.0] * FFT_SIZE
        self.synth_im = [0.0] * FFT_SIZE
        self.second_synth_re = [0.0] * FFT_SIZE
        self.second_synth_im = [0.0] * FFT_SIZE

    # -- band and minimum-amplitude operations ----------------------------

    def band_operation(self, code, low=0, high=0):
        f = self.bin_frequency
        mask = self.band_mask
        for k in range(BIN_HIGH):
            fk = f[k]
            if code == 1:
                if low <= k < high:
                    mask[k] = 0
            elif code == 2:
                if low <= k < high:
                    mask[k] = 1
            elif code == 3:
                mask[k] = 0 if (300 < fk < 600 or 1500 < fk < 2500) else 1
            elif code == 4:
                mask[k] = 0 if (200 < fk < 800 or 1300 < fk < 3400) else 1
            elif code == 5:
                mask[k] = 0 if (150 < fk < 800 or 1300 < fk < 4800) else 1
            elif code == 6:
                mask[k] = 0 if 150 < fk < 4900 else 1
            elif code == 7:
                mask[k] = 0 if 100 < fk < 8000 else 1
            elif code == 9:
                if 4925 < fk < 5075:
                    mask[k] = 1
            elif code == 10:
                if 4800 < fk < 5200:
                    mask[k] = 1
            elif code in (11, 12, 13):
                if fk < (100, 200, 300)[code - 11]:
                    mask[k] = 1
            elif code in (14, 15, 16, 17):
                if fk > (3000, 4000, 5000, 6000)[code - 14]:
                    mask[k] = 1

    def set_all_minimum_amplitudes(self, value):
        v = value if value > 0.1 else 0.1
        self.minimum_amplitude = [v] * BIN_COUNT

    def first_bin_at_or_above(self, hz):
        for k in range(BIN_COUNT):
            if self.bin_frequency[k] >= hz:
                return k
        return BIN_COUNT

    # -- frame operation ---------------------------------------------------

    def silence(self, j):
        m = INDEX_MASK - j
        self.synth_re[j] = 0.0
        self.synth_im[j] = 0.0
        self.synth_re[m] = 0.0
        self.synth_im[m] = 0.0
        self.second_synth_re[j] = 0.0
        self.second_synth_im[j] = 0.0
        self.second_synth_re[m] = 0.0
        self.second_synth_im[m] = 0.0

    def release_notch(self, k):
        for j in range(k - 2, k + 3):
            if 0 <= j < BIN_COUNT and self.band_mask[j] == 2:
                self.band_mask[j] = 0

    def measure_newest(self):
        s = self.s
        w = self.analysis_slot
        re = self.spectrum_re[w]
        im = self.spectrum_im[w]
        mag = self.magnitude[w]
        for k in range(BIN_LOW, BIN_HIGH):
            m = math.sqrt(re[k] * re[k] + im[k] * im[k])
            mag[k] = m
            self.equalizer_sum[k] += m
            if s.equalizer_on:
                m = m * self.equalizer_gain[k]
                mag[k] = m
            self.display_sum[k] += m
            if s.show_peaks and self.peak_spectrum[k] < m:
                self.peak_spectrum[k] = m

    def averaged_magnitude(self, k):
        m = 0.0
        for slot in range(3):
            v = self.magnitude[slot][k]
            if v > m:
                m += v
        return m * (1.0 / 3.0)

    def heterodyne_reduction(self, k, m):
        """Returns True when bin k has been silenced (its work ends)."""
        mode = self.s.heterodyne_mode
        detect = mode > 1 or (mode == 1 and
                              4900.0 < self.bin_frequency[k] < 5100.0)
        if not detect:
            if self.heterodyne_counters[k] != 0:
                self.heterodyne_counters[k] = 0
                self.release_notch(k)
            return False
        threshold = 6 if mode == 1 else mode
        mf = self.magnitude[self.synthesis_slot]
        left = mf[k - 2] if k - 2 >= 0 else 0.0
        right = mf[k + 2] if k + 2 < BIN_COUNT else 0.0
        count = self.heterodyne_counters[k]
        if m > 1.5 * left and m > 1.5 * right:
            if count != 100:
                count += 1
        elif count != 0:
            count -= 1
        self.heterodyne_counters[k] = count
        if count > threshold:
            for j in range(k - 2, k + 3):
                if 0 <= j < BIN_COUNT:
                    if self.band_mask[j] == 0:
                        self.band_mask[j] = 2
                    self.silence(j)
            self.silence(k)
            return True
        if count == threshold:
            self.release_notch(k)
        return False

    def write_bin(self, k, g, re_f, im_f):
        mirror = INDEX_MASK - k
        if not self.s.simulated_stereo:
            self.synth_re[k] = re_f * g
            self.synth_im[k] = im_f * g
            self.synth_re[mirror] = im_f * g
            self.synth_im[mirror] = re_f * g
            return
        if self.bin_frequency[k] < 200.0:
            gl = 16 * g
            gr = 16 * g
        else:
            gl = (k % 32) * g
            gr = (32 - (k % 32)) * g
        self.synth_re[k] = re_f * gl
        self.synth_im[k] = im_f * gl
        self.synth_re[mirror] = im_f * gl
        self.synth_im[mirror] = re_f * gl
        self.second_synth_re[k] = re_f * gr
        self.second_synth_im[k] = im_f * gr
        self.second_synth_re[mirror] = im_f * gr
        self.second_synth_im[mirror] = re_f * gr

    def filter_bin(self, k):
        s = self.s
        f = self.synthesis_slot
        mf = self.magnitude[f]
        # 1. magnitude
        m = self.averaged_magnitude(k) if s.averaging_on else mf[k]
        # 2. noise floor
        factor = s.noise_floor_factor
        if factor != 0.0:
            newest = self.magnitude[self.analysis_slot][k]
            self.floor_average[k] = ((10 * self.floor_average[k] + newest)
                                     * (1.0 / 11.0))
            t = factor * self.floor_average[k]
            if m > t:
                m = m - t
            else:
                self.silence(k)
                return
        # 3. minimum amplitude
        if m <= self.minimum_amplitude[k]:
            self.silence(k)
            return
        # 4. heterodyne reduction
        if self.heterodyne_reduction(k, m):
            return
        # 5. band mask
        if self.band_mask[k] != 0:
            self.silence(k)
            return
        # 6. expandor
        if s.expandor_on:
            m = math.pow(m, 1.2) * (1.0 / 12.0)
        # 7. absolute gate
        if m <= 200.0:
            self.silence(k)
            return
        # 8. gain and output
        if mf[k] == 0.0:
            self.silence(k)
            return
        g = m / mf[k]
        self.write_bin(k, g, self.spectrum_re[f][k], self.spectrum_im[f][k])

    def filter_spectrum(self):
        self.frame_count += 1
        for k in list(range(BIN_LOW)) + list(range(BIN_HIGH, BIN_COUNT)):
            self.equalizer_sum[k] = 0.0
            self.display_sum[k] = 0.0
            self.silence(k)
        self.measure_newest()
        if self.s.pass_through:
            self.copy_unchanged()
            return
        for k in range(BIN_LOW, BIN_HIGH):
            self.filter_bin(k)

    def copy_unchanged(self):
        """Check mode: synthesis spectrum = the synthesis slot's spectrum,
        times 16 per channel in stereo."""
        f = self.synthesis_slot
        re = self.spectrum_re[f]
        im = self.spectrum_im[f]
        if self.s.simulated_stereo:
            self.synth_re = [v * 16 for v in re]
            self.synth_im = [v * 16 for v in im]
            self.second_synth_re = [v * 16 for v in re]
            self.second_synth_im = [v * 16 for v in im]
        else:
            self.synth_re = list(re)
            self.synth_im = list(im)

    def update_equalizer(self):
        total = 0.0
        for k in range(BIN_LOW, BIN_HIGH):
            total += self.equalizer_sum[k]
        average = total / BIN_HIGH
        for k in range(BIN_LOW, BIN_HIGH):
            if self.equalizer_sum[k] < 0.01:
                self.equalizer_sum[k] = 0.01
            r = average / self.equalizer_sum[k]
            if r > 25.0:
                r = 25.0
            self.equalizer_gain[k] = (49 * self.equalizer_gain[k] + r) * 0.02
            self.equalizer_sum[k] = 0.0

    def advance_slots(self):
        self.analysis_slot = (self.analysis_slot + 1) % 3
        self.synthesis_slot = (self.synthesis_slot + 1) % 3


# --------------------------------------------------------------------------
# Block pipeline
# --------------------------------------------------------------------------

class OutputStream:
    """The played stream: 16-bit values, all starting at zero, with the
    overlap-add's truncation, integer division and clipping."""

    def __init__(self, length):
        self.values = [0] * length

    def add(self, pos, x, divisor):
        v = c_div(truncate_to_int32(x), divisor)
        s = self.values[pos] + v
        if abs(s) > 32767:
            s = 32767 if s > 0 else -32767
        self.values[pos] = s


class Engine:
    BAND_CODES = {
        'pass-all': 1, 'stop-all': 2, 'voice-narrow': 3, 'voice-middle': 4,
        'voice-wide': 5, 'music-narrow': 6, 'music-wide': 7,
        'notch-narrow': 9, 'notch-wide': 10, 'stop-below-100': 11,
        'stop-below-200': 12, 'stop-below-300': 13, 'stop-above-3000': 14,
        'stop-above-4000': 15, 'stop-above-5000': 16, 'stop-above-6000': 17,
    }

    def __init__(self, settings, sample_rate):
        self.s = settings
        self.sample_rate = sample_rate
        self.block_length = 2048 if sample_rate < 22050 else 4096
        self.fft = Fft(FFT_SIZE)
        self.window = make_window(FFT_SIZE)
        self.conditioner = InputConditioner(settings, sample_rate)
        self.spectral = SpectralFilter(settings, sample_rate)
        self.apply_band_options()

    def apply_band_options(self):
        sf = self.spectral
        if self.s.min_amplitude is not None:
            sf.set_all_minimum_amplitudes(self.s.min_amplitude)
        for op in self.s.band_ops:
            if op[0] == 'band':
                code = self.BAND_CODES[op[1]]
                if code in (1, 2):
                    sf.band_operation(code, 0, HALF_SIZE)
                else:
                    sf.band_operation(code)
            else:
                low = sf.first_bin_at_or_above(op[1])
                high = sf.first_bin_at_or_above(op[2])
                sf.band_operation(1 if op[0] == 'pass' else 2, low, high)

    def conditioned_input(self, samples, needed):
        """The conditioned input stream, block after block, followed by the
        blocks of zeros the capture device delivers after the file ends."""
        bl = self.block_length
        out = []
        pos = 0
        while len(out) < needed:
            chunk = list(samples[pos:pos + bl])
            chunk += [0] * (bl - len(chunk))
            out.extend(self.conditioner.condition_block(chunk))
            pos += bl
        return out

    def process_frame(self, frame_index, stream, out):
        sf = self.spectral
        start = frame_index * HOP
        frame = apply_window(self.window, stream[start:start + FFT_SIZE])
        re, im = self.fft.transform(0, frame, None)
        sf.spectrum_re[sf.analysis_slot] = re
        sf.spectrum_im[sf.analysis_slot] = im
        sf.filter_spectrum()
        first, _ = self.fft.transform(1, sf.synth_re, sf.synth_im)
        if self.s.simulated_stereo:
            second, _ = self.fft.transform(1, sf.second_synth_re,
                                           sf.second_synth_im)
            base = 2 * start
            for i in range(FFT_SIZE):
                out.add(base + 2 * i, first[i], 32)
                out.add(base + 2 * i + 1, second[i], 32)
        else:
            for i in range(FFT_SIZE):
                out.add(start + i, first[i], 2)
        sf.advance_slots()

    def run(self, samples):
        """Returns the played stream (interleaved in stereo)."""
        length = len(samples)
        last_needed = length + OUTPUT_DELAY  # played frames 0 .. this - 1
        frames = (last_needed - 1) // HOP + 1  # frames starting before it
        stream = self.conditioned_input(samples, frames * HOP + FFT_SIZE)
        channels = 2 if self.s.simulated_stereo else 1
        out = OutputStream(channels * (frames * HOP + FFT_SIZE))
        frames_per_block = self.block_length // HOP
        for f in range(frames):
            self.process_frame(f, stream, out)
            if (f + 1) % frames_per_block == 0 and self.s.equalizer_on:
                self.spectral.update_equalizer()
        return out.values


# --------------------------------------------------------------------------
# Files and command line
# --------------------------------------------------------------------------

def read_wav(path):
    with wave.open(path, 'rb') as w:
        if w.getsampwidth() != 2 or w.getnchannels() != 1:
            raise SystemExit(f'{path}: need a 16-bit mono WAV')
        rate = w.getframerate()
        n = w.getnframes()
        data = w.readframes(n)
    return rate, list(struct.unpack(f'<{n}h', data))


def write_wav(path, rate, channels, values):
    with wave.open(path, 'wb') as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(struct.pack(f'<{len(values)}h', *values))


def parse_range(text):
    lo, sep, hi = text.partition('-')
    if not sep:
        raise argparse.ArgumentTypeError(f'expected LO-HI, got {text!r}')
    return float(lo), float(hi)


class BandAction(argparse.Action):
    """Collects --band, --pass and --stop in command-line order."""

    def __call__(self, parser, namespace, value, option_string=None):
        ops = getattr(namespace, 'band_ops', None) or []
        if option_string == '--band':
            ops.append(('band', value))
        else:
            lo, hi = parse_range(value)
            ops.append((option_string[2:], lo, hi))
        namespace.band_ops = ops


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    p.add_argument('--stereo', action='store_true')
    p.add_argument('--prefilter', choices=['off', 'voice', 'music'],
                   default='off')
    p.add_argument('--lms', action='store_true')
    p.add_argument('--combiner', action='store_true')
    p.add_argument('--exponential', default='off',
                   choices=['off'] + [f'0.{i}' for i in range(1, 10)])
    p.add_argument('--noise-floor', default='off',
                   choices=['off'] + [str(i) for i in range(10, 160, 10)])
    p.add_argument('--heterodyne', default='5000',
                   choices=['off', '5000', 'slow', 'fast'])
    p.add_argument('--no-equalizer', action='store_true')
    p.add_argument('--no-expandor', action='store_true')
    p.add_argument('--averaging', action='store_true')
    p.add_argument('--band', action=BandAction,
                   choices=sorted(Engine.BAND_CODES))
    p.add_argument('--pass', action=BandAction)
    p.add_argument('--stop', action=BandAction)
    p.add_argument('--min-amplitude', type=float)
    p.add_argument('--check-pass-through', action='store_true')
    p.add_argument('-q', '--quiet', action='store_true')
    p.add_argument('input')
    p.add_argument('output')
    return p.parse_args(argv)


def settings_from_args(a):
    s = Settings()
    s.simulated_stereo = 1 if a.stereo else 0
    s.voice_prefilter_on = 1 if a.prefilter == 'voice' else 0
    s.music_prefilter_on = 1 if a.prefilter == 'music' else 0
    s.lms_filter_on = 1 if a.lms else 0
    s.linear_combiner_on = 1 if a.combiner else 0
    s.exponential_factor = 0.0 if a.exponential == 'off' else float(a.exponential)
    if a.noise_floor == 'off':
        s.noise_floor_factor = 0.0
    elif a.noise_floor == '150':
        s.noise_floor_factor = 2.5
    else:
        s.noise_floor_factor = int(a.noise_floor) / 100
    s.heterodyne_mode = {'off': 0, '5000': 1, 'slow': 20, 'fast': 6}[a.heterodyne]
    s.equalizer_on = 0 if a.no_equalizer else 1
    s.expandor_on = 0 if a.no_expandor else 1
    s.averaging_on = 1 if a.averaging else 0
    s.min_amplitude = a.min_amplitude
    s.band_ops = getattr(a, 'band_ops', None) or []
    s.pass_through = 1 if a.check_pass_through else 0
    return s


def main(argv=None):
    a = parse_args(sys.argv[1:] if argv is None else argv)
    rate, samples = read_wav(a.input)
    if not 8000 <= rate <= 48000:
        raise SystemExit(f'{a.input}: rate {rate} outside 8000..48000 Hz')
    settings = settings_from_args(a)
    played = Engine(settings, rate).run(samples)
    channels = 2 if settings.simulated_stereo else 1
    first = OUTPUT_DELAY * channels
    write_wav(a.output, rate, channels,
              played[first:first + len(samples) * channels])
    return 0


if __name__ == '__main__':
    sys.exit(main())
