#include "dsp/noise_blanker.h"

#include <algorithm>
#include <cmath>

namespace {
// What is taken out must stand above every sample of the 20 ms after it and
// three times above the level around it (the median magnitude over 20 ms on
// either side, the higher); twelve times when the sound after it is more than
// three times as loud as before. A plosive's burst or the first glottal pulse
// of a vowel looks like a click to the prediction, but no louder than what
// follows it.
constexpr double kPeakRatio = 3.0;
constexpr double kRiseRatio = 3.0;
constexpr double kRisePeakRatio = 12.0;
constexpr uint32_t kLevelMs = 20;
// A click's edges: up to this many samples more on either side while the
// prediction error stays above this fraction of the threshold.
constexpr double kEdge = 0.35;
constexpr uint32_t kEdgeSamples = 8;

// The sizes for a rate. The model is fitted again every 2 ms; the longest
// click is 6 ms.
struct Sizes {
    uint32_t order, maxGap, modelInterval, levelWindow, lookAhead;
};

uint32_t atMost(uint32_t value, uint32_t most) {
    return value < most ? value : most;
}
uint32_t atLeast(uint32_t value, uint32_t least) {
    return value > least ? value : least;
}

Sizes sizesFor(int32_t sampleRate) {
    const uint32_t rate = sampleRate < 8000 ? 8000 : static_cast<uint32_t>(sampleRate);
    Sizes s{};
    s.order = rate < 22050 ? 16 : CNoiseBlanker::kMaxOrder;
    s.maxGap = atMost(rate * 6 / 1000, CNoiseBlanker::kMaxGap);
    s.modelInterval = atLeast(rate / 500, 16);
    s.levelWindow = rate * kLevelMs / 1000;
    // The end of a click is found by the backward error of the model's order
    // of samples after it, which needs as many again; the level after it by
    // the samples of its window.
    s.lookAhead = s.maxGap + atLeast(s.levelWindow, 2 * s.order + kEdgeSamples + 1);
    return s;
}

// In units of the 16-bit samples: the error level never falls below one
// step, and levels within a few steps of each other count as the same.
constexpr double kErrorFloor = 1.0;
constexpr double kLevelSlack = 4.0;

}  // namespace

uint32_t CNoiseBlanker::delayFor(int32_t sampleRate) {
    return sizesFor(sampleRate).lookAhead;
}

void CNoiseBlanker::configure(int32_t sampleRate) {
    const Sizes s = sizesFor(sampleRate);
    order_ = s.order;
    maxGap_ = s.maxGap;
    modelInterval_ = s.modelInterval;
    levelWindow_ = s.levelWindow;
    lookAhead_ = s.lookAhead;
    // The error level follows over about 10 ms.
    levelWeight_ = 100.0 / (sampleRate < 8000 ? 8000 : sampleRate);
    // The model follows about 25 ms of the past: an exponential window with
    // a time constant of 12.5 ms.
    modelSpan_ = (sampleRate < 8000 ? 8000 : sampleRate) / 80.0;
    keep_ = 1.0 - 1.0 / modelSpan_;
    reset();
}

void CNoiseBlanker::reset() {
    for (double& h : history_)
        h = 0.0;
    for (double& c : coefficients_)
        c = 0.0;
    coefficients_[0] = 1.0;
    for (double& r : correlation_)
        r = 0.0;
    fed_ = 0;
    errorLevel_ = kErrorFloor;
    count_ = 0;
    cursor_ = 0;
    nextModel_ = 0;
    eventStart_ = 0;
    eventOpen_ = false;
    repaired_ = 0;
}

void CNoiseBlanker::setThreshold(double threshold) {
    threshold_ = threshold != threshold      ? kDefaultThreshold
                 : threshold < kMinThreshold ? kMinThreshold
                 : threshold > kMaxThreshold ? kMaxThreshold
                                             : threshold;
}

double CNoiseBlanker::process(double x) {
    set(count_, x);
    ++count_;
    for (;;) {
        if (eventOpen_) {
            if (count_ < eventStart_ + lookAhead_) break;
            resolve();
            continue;
        }
        if (cursor_ >= count_) break;
        feed(cursor_);
        if (cursor_ >= nextModel_) {
            updateModel();
            nextModel_ = cursor_ + modelInterval_;
        }
        const double e = forwardError(cursor_);
        if (e * e > threshold_ * threshold_ * errorLevel_) {
            eventOpen_ = true;
            eventStart_ = cursor_;
            continue;
        }
        errorLevel_ += levelWeight_ * (e * e - errorLevel_);
        if (errorLevel_ < kErrorFloor) errorLevel_ = kErrorFloor;
        ++cursor_;
    }
    return count_ > lookAhead_ ? at(count_ - 1 - lookAhead_) : 0.0;
}

double CNoiseBlanker::forwardError(uint64_t t) {
    // Even and odd lags summed apart, then together: a fixed order, and half
    // the wait on each addition.
    const double* x = window(t);
    const double* c = coefficients_;
    double even = 0.0, odd = 0.0;
    for (uint32_t k = 0; k < order_; k += 2) {
        even += c[k] * x[-static_cast<int32_t>(k)];
        odd += c[k + 1] * x[-static_cast<int32_t>(k) - 1];
    }
    return (even + c[order_] * x[-static_cast<int32_t>(order_)]) + odd;
}

double CNoiseBlanker::backwardError(uint64_t t) {
    const double* x = ahead(t);
    double e = 0.0;
    for (uint32_t k = 0; k <= order_; ++k)
        e += coefficients_[k] * x[k];
    return e;
}

void CNoiseBlanker::feed(uint64_t end) {
    // The autocorrelation of the past under an exponential window, kept up
    // to date sample by sample: the same model as refitting a window every
    // time, for the cost of one product per lag.
    const double keep = keep_;
    for (; fed_ < end; ++fed_) {
        const double* x = window(fed_);
        for (uint32_t k = 0; k <= order_; ++k)
            correlation_[k] = keep * correlation_[k] + x[0] * x[-static_cast<int32_t>(k)];
    }
}

void CNoiseBlanker::updateModel() {
    // Levinson-Durbin on the autocorrelation.
    double r[kMaxOrder + 1];
    for (uint32_t k = 0; k <= order_; ++k)
        r[k] = correlation_[k];
    for (double& c : coefficients_)
        c = 0.0;
    coefficients_[0] = 1.0;
    // Silence, or close to it: predict nothing.
    if (!(r[0] > modelSpan_ * 1e-2)) return;
    // A little white noise added keeps the model stable on a pure tone.
    r[0] *= 1.0 + 1e-5;
    double a[kMaxOrder + 1] = {1.0};
    double previous[kMaxOrder + 1];
    double error = r[0];
    for (uint32_t i = 1; i <= order_; ++i) {
        double acc = r[i];
        for (uint32_t j = 1; j < i; ++j)
            acc += a[j] * r[i - j];
        const double k = -acc / error;
        // The exponential window's estimate need not be positive definite:
        // where the next order would be unstable, the model stops short.
        if (!(k * k < 1.0)) break;
        for (uint32_t j = 0; j < i; ++j)
            previous[j] = a[j];
        for (uint32_t j = 1; j < i; ++j)
            a[j] = previous[j] + k * previous[i - j];
        a[i] = k;
        error *= 1.0 - k * k;
    }
    for (uint32_t i = 0; i <= order_; ++i)
        coefficients_[i] = a[i];
}

double CNoiseBlanker::level(uint64_t first, uint32_t count, double* peak) {
    // The median magnitude: a neighbouring click does not raise it.
    double most = 0.0;
    for (uint32_t i = 0; i < count; ++i) {
        magnitudes_[i] = std::fabs(at(first + i));
        most = magnitudes_[i] > most ? magnitudes_[i] : most;
    }
    if (peak) *peak = most;
    std::nth_element(magnitudes_, magnitudes_ + count / 2, magnitudes_ + count);
    return magnitudes_[count / 2];
}

void CNoiseBlanker::resolve() {
    eventOpen_ = false;
    uint64_t s = eventStart_;
    const double limit = threshold_ * threshold_ * errorLevel_;
    const double edge = kEdge * kEdge * limit;
    // The last sample the samples after it do not predict.
    uint64_t last = s;
    for (uint64_t t = s; t < s + maxGap_ + order_; ++t) {
        const double b = backwardError(t);
        if (b * b > limit) last = t;
    }
    // A click's first and last samples may be small: the edges go on while
    // the errors stay above a lower threshold.
    for (uint32_t i = 0; i < kEdgeSamples; ++i) {
        const double b = backwardError(last + 1);
        if (!(b * b > edge)) break;
        ++last;
    }
    for (uint32_t i = 0; i < kEdgeSamples && s > 0; ++i) {
        const double e = forwardError(s - 1);
        if (!(e * e > edge)) break;
        --s;
    }
    // The longest click, and what it must stand above.
    bool click = last < s + maxGap_;
    double around = 0.0, afterPeak = 0.0;
    bool rising = false;
    if (click) {
        const double before = level(s - levelWindow_, levelWindow_);
        const double after = level(last + 1, levelWindow_, &afterPeak);
        rising = after > kRiseRatio * before + kLevelSlack;
        around = before < after ? after : before;
    }
    if (click) {
        const uint32_t m = static_cast<uint32_t>(last - s + 1);
        for (uint32_t i = 0; i < m; ++i)
            raw_[i] = at(s + i);
        click = interpolate(s, last);
        // What is taken out must stand well above the signal around it, or
        // it is the signal.
        double peak = 0.0;
        for (uint32_t i = 0; click && i < m; ++i) {
            const double d = std::fabs(raw_[i] - at(s + i));
            peak = d > peak ? d : peak;
        }
        const bool stands =
            peak > afterPeak && peak > (rising ? kRisePeakRatio : kPeakRatio) * around;
        if (click && !stands) {
            for (uint32_t i = 0; i < m; ++i)
                set(s + i, raw_[i]);
            click = false;
        }
    }
    if (click) {
        gaps_[repaired_ % kGapLog] = {s, last};
        ++repaired_;
        cursor_ = last + 1;
        return;
    }
    // The signal itself: take its error level and go on after it.
    s = eventStart_;
    double sum = 0.0;
    for (uint64_t t = s; t < s + maxGap_; ++t) {
        const double e = forwardError(t);
        sum += e * e;
    }
    const double mean = sum / maxGap_;
    if (mean > errorLevel_) errorLevel_ = mean;
    cursor_ = s + maxGap_;
}

bool CNoiseBlanker::interpolate(uint64_t first, uint64_t last) {
    const uint32_t m = static_cast<uint32_t>(last - first + 1);
    const uint32_t p = order_;
    const double* c = coefficients_;
    // The prediction errors over the gap and the model order after it, split
    // into the part the known samples make...
    for (uint32_t i = 0; i < m + p; ++i) {
        const uint64_t t = first + i;
        double sum = 0.0;
        for (uint32_t k = 0; k <= p; ++k) {
            const uint64_t u = t - k;
            if (u < first || u > last) sum += c[k] * at(u);
        }
        known_[i] = sum;
    }
    // ...and the unknowns' part: minimising the sum of their squares gives
    // the normal equations M x = rhs, M banded Toeplitz with the model's
    // autocorrelation.
    double rc[kMaxOrder + 1];
    for (uint32_t d = 0; d <= p; ++d) {
        double sum = 0.0;
        for (uint32_t k = 0; k + d <= p; ++k)
            sum += c[k] * c[k + d];
        rc[d] = sum;
    }
    for (uint32_t i = 0; i < m; ++i) {
        double sum = 0.0;
        for (uint32_t j = 0; j <= p; ++j)
            sum += c[j] * known_[i + j];
        rhs_[i] = -sum;
    }
    // Banded Cholesky: band_[i][d] is L(i, i - d).
    for (uint32_t i = 0; i < m; ++i) {
        const uint32_t lo = i > p ? i - p : 0;
        for (uint32_t j = lo; j <= i; ++j) {
            double sum = rc[i - j];
            for (uint32_t k = lo; k < j; ++k)
                sum -= band_[i][i - k] * band_[j][j - k];
            if (j < i) {
                band_[i][i - j] = sum / band_[j][0];
            } else {
                if (!(sum > 0.0)) return false;
                band_[i][0] = std::sqrt(sum);
            }
        }
    }
    for (uint32_t i = 0; i < m; ++i) {
        const uint32_t lo = i > p ? i - p : 0;
        double sum = rhs_[i];
        for (uint32_t k = lo; k < i; ++k)
            sum -= band_[i][i - k] * rhs_[k];
        rhs_[i] = sum / band_[i][0];
    }
    for (uint32_t i = m; i-- > 0;) {
        const uint32_t hi = i + p < m - 1 ? i + p : m - 1;
        double sum = rhs_[i];
        for (uint32_t k = i + 1; k <= hi; ++k)
            sum -= band_[k][k - i] * rhs_[k];
        rhs_[i] = sum / band_[i][0];
    }
    for (uint32_t i = 0; i < m; ++i)
        set(first + i, rhs_[i]);
    return true;
}
