#include "dsp/fft.h"

#include <cmath>
#include <cstring>

#include "platform/host.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;

int32_t refuse(const char* text, int32_t code) {
    platform::host().messageBox(nullptr, text, "CFft::initialize",
                                platform::kMbOk | platform::kMbIconExclamation);
    platform::host().postQuitMessage(0);
    return code;
}

// Runs the three-term recurrence over one block of a stage, exactly as the
// butterfly loop would, and stores each factor.
void stageTwiddles(double sm2, double sm1, double cm2, double cm1, double w, uint32_t count,
                   double* re, double* im) {
    double ar2 = cm2, ar1 = cm1, ai2 = sm2, ai1 = sm1;
    for (uint32_t j = 0; j < count; ++j) {
        const double ar0 = w * ar1 - ar2;
        ar2 = ar1;
        ar1 = ar0;
        const double ai0 = w * ai1 - ai2;
        ai2 = ai1;
        ai1 = ai0;
        re[j] = ar0;
        im[j] = ai0;
    }
}

inline void butterfly(double* re, double* im, uint32_t j, uint32_t k, double wr, double wi) {
    const double tr = wr * re[k] - wi * im[k];
    const double ti = wr * im[k] + wi * re[k];
    re[k] = re[j] - tr;
    im[k] = im[j] - ti;
    re[j] = re[j] + tr;
    im[j] = im[j] + ti;
}

// One block of a stage: the butterflies pair the lower half with the upper
// half. The halves never overlap, which lets the compiler vectorise without
// run-time alias checks.
inline __attribute__((always_inline)) void butterflyRun(double* __restrict re0,
                                                        double* __restrict im0,
                                                        const double* __restrict wr,
                                                        const double* __restrict wi,
                                                        uint32_t half) {
    double* __restrict re1 = re0 + half;
    double* __restrict im1 = im0 + half;
    for (uint32_t j = 0; j < half; ++j) {
        const double tr = wr[j] * re1[j] - wi[j] * im1[j];
        const double ti = wr[j] * im1[j] + wi[j] * re1[j];
        re1[j] = re0[j] - tr;
        im1[j] = im0[j] - ti;
        re0[j] = re0[j] + tr;
        im0[j] = im0[j] + ti;
    }
}

// Two consecutive stages over one block of 4 * half points, done together
// while the four values of each group are in registers: first the stage of
// `half` on (a, b) and (c, d), then the stage of 2 * half on (a, c) and
// (b, d). Each butterfly is the same arithmetic as stage by stage.
inline __attribute__((always_inline)) void twoStageRun(
    double* __restrict ra, double* __restrict ia, double* __restrict rb, double* __restrict ib,
    double* __restrict rc, double* __restrict ic, double* __restrict rd, double* __restrict id,
    const double* __restrict w1r, const double* __restrict w1i, const double* __restrict w2r,
    const double* __restrict w2i, uint32_t half) {
    for (uint32_t j = 0; j < half; ++j) {
        double ar = ra[j], ai = ia[j], br = rb[j], bi = ib[j];
        double cr = rc[j], ci = ic[j], dr = rd[j], di = id[j];
        double tr = w1r[j] * br - w1i[j] * bi;
        double ti = w1r[j] * bi + w1i[j] * br;
        br = ar - tr;
        bi = ai - ti;
        ar = ar + tr;
        ai = ai + ti;
        tr = w1r[j] * dr - w1i[j] * di;
        ti = w1r[j] * di + w1i[j] * dr;
        dr = cr - tr;
        di = ci - ti;
        cr = cr + tr;
        ci = ci + ti;
        tr = w2r[j] * cr - w2i[j] * ci;
        ti = w2r[j] * ci + w2i[j] * cr;
        rc[j] = ar - tr;
        ic[j] = ai - ti;
        ra[j] = ar + tr;
        ia[j] = ai + ti;
        tr = w2r[j + half] * dr - w2i[j + half] * di;
        ti = w2r[j + half] * di + w2i[j + half] * dr;
        rd[j] = br - tr;
        id[j] = bi - ti;
        rb[j] = br + tr;
        ib[j] = bi + ti;
    }
}

// The stages from blocks of eight points up, two at a time, and a last
// single one when their number is odd. Where the machine has AVX2 a wider
// copy of the same operations is chosen at load time; contraction is off, so
// it gives the same bits. The load-time choice needs ELF's indirect functions:
// elsewhere (Windows) the portable copy runs, with the same results.
#if defined(__ELF__) && defined(__x86_64__)
#define TARNIX_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TARNIX_AVX2_CLONES
#endif
TARNIX_AVX2_CLONES void laterStages(double* re, double* im, const double* twRe, const double* twIm,
                                    uint32_t n) {
    uint32_t half = 4;
    for (; 4 * half <= n; half *= 4) {
        const double* w1r = twRe + (half - 1);
        const double* w1i = twIm + (half - 1);
        const double* w2r = twRe + (2 * half - 1);
        const double* w2i = twIm + (2 * half - 1);
        for (uint32_t b = 0; b < n; b += 4 * half) {
            double* r = re + b;
            double* i = im + b;
            twoStageRun(r, i, r + half, i + half, r + 2 * half, i + 2 * half, r + 3 * half,
                        i + 3 * half, w1r, w1i, w2r, w2i, half);
        }
    }
    if (half < n)
        for (uint32_t b = 0; b < n; b += 2 * half)
            butterflyRun(re + b, im + b, twRe + (half - 1), twIm + (half - 1), half);
}

}  // namespace

int32_t CFft::initialize(uint32_t n) {
    if (n == 0 || (n & (n - 1)) != 0) return refuse("NOT power of 2!", -1);
    if (n > (1u << kMaxStages)) return refuse("Too big power of 2!", -2);

    nLog2Size = 0;
    while ((1u << nLog2Size) != n)
        ++nLog2Size;
    nArrayBytes = n * 8;
    dSize = n;

    bitReversed_.assign(n, 0);
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t bits = i, j = 0;
        for (uint32_t b = 0; b < nLog2Size; ++b) {
            j = (j << 1) | (bits & 1);
            bits >>= 1;
        }
        bitReversed_[i] = j;
    }
    if (n < 2) return 0;

    forwardRe_.assign(n - 1, 0.0);
    forwardIm_.assign(n - 1, 0.0);
    inverseRe_.assign(n - 1, 0.0);
    inverseIm_.assign(n - 1, 0.0);
    uint32_t s = 0;
    for (uint32_t block = 2; block <= n; block <<= 1, ++s) {
        const double delta = kTwoPi / block;
        daForwardSin2[s] = std::sin(-2.0 * delta);
        daForwardSin1[s] = std::sin(-delta);
        daForwardCos2[s] = std::cos(-2.0 * delta);
        daForwardCos1[s] = std::cos(-delta);
        daForwardTwoCos[s] = 2.0 * std::cos(-delta);
        daInverseSin2[s] = std::sin(2.0 * delta);
        daInverseSin1[s] = std::sin(delta);
        daInverseCos2[s] = std::cos(2.0 * delta);
        daInverseCos1[s] = std::cos(delta);
        daInverseTwoCos[s] = 2.0 * std::cos(delta);

        const uint32_t half = block / 2, offset = half - 1;
        stageTwiddles(daForwardSin2[s], daForwardSin1[s], daForwardCos2[s], daForwardCos1[s],
                      daForwardTwoCos[s], half, &forwardRe_[offset], &forwardIm_[offset]);
        stageTwiddles(daInverseSin2[s], daInverseSin1[s], daInverseCos2[s], daInverseCos1[s],
                      daInverseTwoCos[s], half, &inverseRe_[offset], &inverseIm_[offset]);
    }
    return 0;
}

void CFft::transform(uint32_t n, uint32_t inverse, const double* reIn, const double* imIn,
                     double* reOut, double* imOut) const {
    const uint32_t* rev = bitReversed_.data();
    const double* twRe = inverse ? inverseRe_.data() : forwardRe_.data();
    const double* twIm = inverse ? inverseIm_.data() : forwardIm_.data();

    if (n < 4) {
        if (imIn) {
            for (uint32_t i = 0; i < n; ++i) {
                reOut[rev[i]] = reIn[i];
                imOut[rev[i]] = imIn[i];
            }
        } else {
            std::memset(imOut, 0, nArrayBytes);
            for (uint32_t i = 0; i < n; ++i)
                reOut[rev[i]] = reIn[i];
        }
        if (n == 2) butterfly(reOut, imOut, 0, 1, twRe[0], twIm[0]);
    } else {
        // The bit-reversed copy and the first two stages in one pass over
        // groups of four outputs; bit reversal is its own inverse, so output j
        // takes input rev[j]. The arithmetic is that of the separate passes.
        const double w1r = twRe[0], w1i = twIm[0];
        const double w2r0 = twRe[1], w2i0 = twIm[1], w2r1 = twRe[2], w2i1 = twIm[2];
        for (uint32_t j = 0; j < n; j += 4) {
            double r[4], m[4];
            for (uint32_t t = 0; t < 4; ++t) {
                r[t] = reIn[rev[j + t]];
                m[t] = imIn ? imIn[rev[j + t]] : 0.0;
            }
            butterfly(r, m, 0, 1, w1r, w1i);
            butterfly(r, m, 2, 3, w1r, w1i);
            butterfly(r, m, 0, 2, w2r0, w2i0);
            butterfly(r, m, 1, 3, w2r1, w2i1);
            for (uint32_t t = 0; t < 4; ++t) {
                reOut[j + t] = r[t];
                imOut[j + t] = m[t];
            }
        }
        laterStages(reOut, imOut, twRe, twIm, n);
    }

    if (inverse) {
        // The size is a power of two, so multiplying by its reciprocal gives
        // exactly the quotient.
        const double scale = 1.0 / dSize;
        for (uint32_t i = 0; i < n; ++i) {
            reOut[i] = reOut[i] * scale;
            imOut[i] = imOut[i] * scale;
        }
    }
}

void CFft::makeWindow(double* table, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        table[i] = 0.5 - 0.5 * std::cos(i * kTwoPi / n);
}

void CFft::applyWindow(const double* table, double* buffer, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        buffer[i] = buffer[i] * table[i];
}

double CFft::binFraction(uint32_t n, uint32_t i) {
    if (i >= n) return 0.0;
    if (i > (n >> 1)) return static_cast<double>(n - i) / n;
    return static_cast<double>(i) / n;
}
