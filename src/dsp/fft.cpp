#include "dsp/fft.h"

#include <cmath>
#include <cstring>

#include "platform/host.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;

int32_t refuse(const char* text, int32_t code) {
    platform::host().messageBox(nullptr, text, "CFft::initialize",
                                platform::MB_OK | platform::MB_ICONEXCLAMATION);
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

    const double* twRe = inverse ? inverseRe_.data() : forwardRe_.data();
    const double* twIm = inverse ? inverseIm_.data() : forwardIm_.data();
    uint32_t half = 1;
    // The first two stages have one and two twiddles: run them as flat loops
    // over the blocks instead of a short inner loop per block.
    if (half < n) {
        const double wr = twRe[0], wi = twIm[0];
        for (uint32_t j = 0; j < n; j += 2)
            butterfly(reOut, imOut, j, j + 1, wr, wi);
        half = 2;
    }
    if (half < n) {
        const double wr0 = twRe[1], wi0 = twIm[1], wr1 = twRe[2], wi1 = twIm[2];
        for (uint32_t j = 0; j < n; j += 4) {
            butterfly(reOut, imOut, j, j + 2, wr0, wi0);
            butterfly(reOut, imOut, j + 1, j + 3, wr1, wi1);
        }
        half = 4;
    }
    for (; half < n; half <<= 1) {
        const double* wr = twRe + (half - 1);
        const double* wi = twIm + (half - 1);
        const uint32_t block = half * 2;
        for (uint32_t b = 0; b < n; b += block) {
            double* re0 = reOut + b;
            double* im0 = imOut + b;
            double* re1 = re0 + half;
            double* im1 = im0 + half;
            for (uint32_t j = 0; j < half; ++j) {
                const double tr = wr[j] * re1[j] - wi[j] * im1[j];
                const double ti = wr[j] * im1[j] + wi[j] * re1[j];
                re1[j] = re0[j] - tr;
                im1[j] = im0[j] - ti;
                re0[j] = re0[j] + tr;
                im0[j] = im0[j] + ti;
            }
        }
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
