#include "dsp/fir_filter.h"

#include <cmath>
#include <cstdlib>

#include "dsp/math_functions.h"

namespace {

void* zeroFilled(size_t count, size_t size) {
    return std::calloc(count, size);
}

}  // namespace

CFirFilter::Allocator CFirFilter::allocator = zeroFilled;

CFirFilter::CFirFilter(uint32_t taps, uint32_t sampleRate) {
    nStatus = setUp(taps, sampleRate);
}

CFirFilter::~CFirFilter() {
    release();
}

void CFirFilter::release() {
    if (pdaCoefficents) std::free(pdaCoefficents);
    if (pdaDelayLine) std::free(pdaDelayLine);
    pdaCoefficents = nullptr;
    pdaDelayLine = nullptr;
}

int32_t CFirFilter::setUp(uint32_t taps, uint32_t sampleRate) {
    release();
    nTaps = taps;
    nDesignRate = sampleRate;
    nPosition = 0;
    pdaCoefficents = static_cast<double*>(allocator(taps, sizeof(double)));
    if (!pdaCoefficents) {
        nTaps = 0;
        return -10;
    }
    pdaDelayLine = static_cast<double*>(allocator(taps, sizeof(double)));
    if (!pdaDelayLine) {
        release();
        nTaps = 0;
        return -20;
    }
    return 0;
}

int32_t CFirFilter::designBandPass(uint32_t taps, uint32_t sampleRate, double lowHz,
                                   double highHz) {
    nStatus = setUp(taps, sampleRate);
    if (nStatus != 0) return nStatus;

    const uint32_t n = nTaps;
    double* c = pdaCoefficents;
    const double w1 = dsp::kTwoPi * lowHz / sampleRate;
    const double w2 = dsp::kTwoPi * highHz / sampleRate;
    if (n % 2 == 1) c[(n - 1) / 2] = (w2 - w1) / dsp::kPi;
    const double centre = (n - 1.0) / 2.0;
    for (uint32_t i = 0; i < n / 2; ++i) {
        const double t = i - centre;
        c[i] = (dsp::sin(w2 * t) - dsp::sin(w1 * t)) / (dsp::kPi * t);
        c[n - 1 - i] = c[i];
    }
    applyHannWindow();
    return 0;
}

void CFirFilter::applyHannWindow() {
    if (!pdaCoefficents) return;
    const uint32_t n = nTaps;
    double* c = pdaCoefficents;
    const double phi = dsp::kTwoPi / n;
    if (n % 2 == 1) {
        const uint32_t mid = (n - 1) / 2;
        c[mid] = c[mid] * (0.5 - 0.5 * dsp::cos(mid * phi));
    }
    for (uint32_t i = 0; i < n / 2; ++i) {
        const double h = 0.5 - 0.5 * dsp::cos(i * phi);
        c[i] = c[i] * h;
        c[n - 1 - i] = c[n - 1 - i] * h;
    }
}

double CFirFilter::filter(double x) {
    if (!pdaDelayLine) return 0.0;
    const uint32_t n = nTaps;
    pdaDelayLine[nPosition] = x;
    nPosition = nPosition + 1;
    if (nPosition == n) nPosition = 0;

    // Coefficient j weights the sample j steps back: walk the delay line
    // backwards from the newest sample, in two straight runs.
    const double* c = pdaCoefficents;
    const double* d = pdaDelayLine;
    const uint32_t newest = nPosition == 0 ? n - 1 : nPosition - 1;
    double sum = 0.0;
    uint32_t j = 0;
    for (uint32_t idx = newest + 1; idx-- > 0; ++j)
        sum += c[j] * d[idx];
    for (uint32_t idx = n; idx-- > newest + 1; ++j)
        sum += c[j] * d[idx];
    return sum;
}

int designPrefilters(Prefilters& filters, uint32_t sampleRate) {
    int failures = 0;
    failures += filters.voiceLow.designBandPass(71, sampleRate, 100.0, 800.0) != 0;
    failures += filters.voiceHigh.designBandPass(31, sampleRate, 1300.0, 4400.0) != 0;
    failures += filters.music.designBandPass(101, sampleRate, 80.0, 4800.0) != 0;
    return failures;
}
