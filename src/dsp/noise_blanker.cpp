#include "dsp/noise_blanker.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/cpu.h"
#include "dsp/math_functions.h"
#include "dsp/select.h"

namespace {
// A click is judged on the prediction errors of a model fitted to the 20 ms
// on either side of it. Its own largest error must stand kStandRatio times
// above every error around it, more the longer it lasts past a millisecond:
// a glottal pulse comes again a pitch period later, a plosive's burst is
// followed by more of its noise, so neither stands out so. Its edges go on
// while the errors there stand kGrowRatio times above the median error
// around (about three standard deviations of a normal error), and its end
// while the signal stays kTailRatio times above the signal's level around (a
// ringing click's tail, which the model predicts). What it takes out must
// also be kLevelRatio times that level (the median magnitude on either side,
// the higher): a keyed tone's edge is no larger than the tone.
constexpr double kStandRatio = 2.5;
constexpr double kGrowRatio = 4.5;
constexpr double kLevelRatio = 2.0;
constexpr double kTailRatio = 5.0;
constexpr double kRecentRatio = 1.5;
// An event too long for a click still opens with one if its errors stand
// above kRunShare of their peak only within the longest click, and its run
// ends within kCrashRatio times the longest click (past that, a crash).
constexpr double kRunShare = 0.5;
constexpr double kCrashRatio = 1.5;
// A burst of errors beside a gap that stands this many times above the
// rest there is taken for a click of its own.
constexpr double kBurstRatio = 4.0;
// A click that has rung through a receiver's filters and that the model
// around predicts past the gap: what the repair took out, as a decaying
// resonance (two poles that leave under kRingFit of its energy, fitted to
// at least kRingSamples), rings on while it stands kRingRatio times above
// the median error around.
constexpr double kRingFit = 0.2;
constexpr double kRingRatio = 2.0;
constexpr uint32_t kRingSamples = 6;
// Such a ringing is taken out of the raw samples rather than filled over
// when a damped oscillation, fitted over the gap and twice its length
// after it (at least kRingMs: a ring outlasts a gap that holds only its
// onset), leaves model errors at most kSubtractRatio times the normal ones
// there: the voice and the hiss under it stay. The fit searches the decay
// and the frequency in kSearchSteps steps, halving where neither helps.
constexpr uint32_t kRingOn = 2;
constexpr uint32_t kRingMs = 2;
constexpr double kSubtractRatio = 8.0;
constexpr uint32_t kSearchSteps = 15;
// A click whose removal fits no resonance (too short to fit, or fitted to
// real poles, as a low ring at a high rate is) may still ring if two poles
// leave under kGuessFit of its energy: the search then starts from a few
// decays and frequencies spread over the band, goes on only if the best of
// those leaves under kGuessScreen times what is accepted, and the
// oscillation is taken out only where it leaves at most kGuessRatio times
// the normal errors.
constexpr double kGuessFit = 0.7;
constexpr double kGuessScreen = 6.0;
constexpr double kGuessRatio = 3.0;
constexpr uint32_t kPasses = 3;  // fits of the model around a gap as its edges move
// A click's own samples may be small by chance: an edge looks this many
// samples out for the next large error, stepping over the small ones
// between.
constexpr uint32_t kEdgeStep = 4;
constexpr uint32_t kLevelMs = 20;
// A normal error's standard deviation over its median magnitude.
constexpr double kMedianToDeviation = 1.4826;

// The sizes for a rate. The model that finds clicks is fitted again every
// 8 ms; the longest click is 6 ms.
struct Sizes {
    uint32_t order, repairOrder, maxGap, modelInterval, levelWindow, lookAhead;
};

uint32_t atMost(uint32_t value, uint32_t most) {
    return value < most ? value : most;
}
uint32_t atLeast(uint32_t value, uint32_t least) {
    return value > least ? value : least;
}

// w = w z, the complex numbers as their real and imaginary parts.
void multiplyBy(double& wr, double& wi, double zr, double zi) {
    const double r = wr * zr - wi * zi;
    wi = wr * zi + wi * zr;
    wr = r;
}

Sizes sizesFor(int32_t sampleRate) {
    const uint32_t rate = sampleRate < 8000 ? 8000 : static_cast<uint32_t>(sampleRate);
    Sizes s{};
    s.order = rate < 22050 ? 10 : 32;
    s.repairOrder = rate < 22050 ? 40 : CNoiseBlanker::kMaxOrder;
    s.maxGap = atMost(rate * 6 / 1000, CNoiseBlanker::kMaxGap);
    s.modelInterval = atLeast(rate / 125, 16);
    s.levelWindow = atMost(rate * kLevelMs / 1000, CNoiseBlanker::kMaxWindow);
    // The end of a click is found by the backward error of the model's order
    // of samples after it, which needs as many again; the level after it by
    // the samples of its window.
    s.lookAhead = s.maxGap + atLeast(s.levelWindow, 2 * s.order + 1);
    return s;
}

// In units of the 16-bit samples: the error level never falls below one step.
constexpr double kErrorFloor = 1.0;

// Four doubles side by side: the element-wise operations of the compiler's
// vector types are the IEEE operations of each element on its own, so the
// sums are the same as one at a time, in the same order, whether the
// processor takes the four at once or two and two.
typedef double Quad __attribute__((vector_size(4 * sizeof(double))));
#pragma GCC diagnostic ignored "-Wpsabi"
TARNIX_INLINE Quad quad(const double* p) {
    Quad v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The sum of x[i] y[i] over n: eight sums side by side (two chains of four,
// so that one need not wait for the other), in a fixed order, from sample i
// on with the sums so far.
TARNIX_INLINE double finishDot(const double* x, const double* y, uint32_t n, uint32_t i, Quad sum,
                               Quad odd) {
    for (; i + 8 <= n; i += 8) {
        sum += quad(x + i) * quad(y + i);
        odd += quad(x + i + 4) * quad(y + i + 4);
    }
    if (i + 4 <= n) {
        sum += quad(x + i) * quad(y + i);
        i += 4;
    }
    sum += odd;
    double s0 = sum[0], s1 = sum[1], s2 = sum[2], s3 = sum[3];
    if (i < n) s0 += x[i] * y[i];
    if (i + 1 < n) s1 += x[i + 1] * y[i + 1];
    if (i + 2 < n) s2 += x[i + 2] * y[i + 2];
    return (s0 + s1) + (s2 + s3);
}
TARNIX_INLINE double dot(const double* x, const double* y, uint32_t n) {
    const Quad zero = {0.0, 0.0, 0.0, 0.0};
    return finishDot(x, y, n, 0, zero, zero);
}

// The dots of x with itself k to k + 3 samples on (out[j] = dot(x + k + j,
// x, n - k - j), the same sums): over the stretch all four reach, each
// sample of x is loaded once for the four.
TARNIX_INLINE void laggedDots(const double* x, uint32_t n, uint32_t k, double* out) {
    const Quad zero = {0.0, 0.0, 0.0, 0.0};
    Quad sum[4] = {zero, zero, zero, zero}, odd[4] = {zero, zero, zero, zero};
    uint32_t i = 0;
    for (; i + 8 + k + 3 <= n; i += 8) {
        const Quad a = quad(x + i), b = quad(x + i + 4);
        for (uint32_t j = 0; j < 4; ++j) {
            sum[j] += quad(x + k + j + i) * a;
            odd[j] += quad(x + k + j + i + 4) * b;
        }
    }
    for (uint32_t j = 0; j < 4; ++j)
        out[j] = finishDot(x + k + j, x, n - k - j, i, sum[j], odd[j]);
}

// The hot loops, each written once and compiled twice: for the baseline and
// for AVX2, picked at run time (the same bits either way: element-wise
// products and sums in the same order, no contraction).

// No filter is longer than the repair's (its last tap a window's length
// out).
constexpr uint32_t kMaxTaps = CNoiseBlanker::kMaxWindow + 1;

// errors[i] = x[i] + sum over k of c[k] x[i - k] (or x[i + k], backward),
// each sum in the order of k, sixteen samples side by side. The taps that
// are zero are left out: the repair's filter is mostly zero between its
// short-term part and its pitch taps.
TARNIX_INLINE void predictBody(const double* c, uint32_t p, const double* x, int32_t step,
                               uint32_t count, double* errors) {
    int32_t offset[kMaxTaps];
    double tap[kMaxTaps];
    uint32_t taps = 0;
    for (uint32_t k = 1; k <= p && k < kMaxTaps; ++k) {
        if (c[k] == 0.0) continue;
        offset[taps] = step * static_cast<int32_t>(k);
        tap[taps++] = c[k];
    }
    uint32_t i = 0;
    for (; i + 16 <= count; i += 16) {
        Quad e0 = quad(x + i), e1 = quad(x + i + 4), e2 = quad(x + i + 8), e3 = quad(x + i + 12);
        for (uint32_t t = 0; t < taps; ++t) {
            const double* y = x + i + offset[t];
            const Quad ct = {tap[t], tap[t], tap[t], tap[t]};
            e0 += ct * quad(y);
            e1 += ct * quad(y + 4);
            e2 += ct * quad(y + 8);
            e3 += ct * quad(y + 12);
        }
        std::memcpy(errors + i, &e0, sizeof e0);
        std::memcpy(errors + i + 4, &e1, sizeof e1);
        std::memcpy(errors + i + 8, &e2, sizeof e2);
        std::memcpy(errors + i + 12, &e3, sizeof e3);
    }
    for (; i < count; ++i) {
        double e = x[i];
        for (uint32_t t = 0; t < taps; ++t)
            e += tap[t] * (x + i)[offset[t]];
        errors[i] = e;
    }
}
void predictBaseline(const double* c, uint32_t p, const double* x, int32_t step, uint32_t count,
                     double* errors) {
    predictBody(c, p, x, step, count, errors);
}
TARNIX_AVX2 void predictAvx2(const double* c, uint32_t p, const double* x, int32_t step,
                             uint32_t count, double* errors) {
    predictBody(c, p, x, step, count, errors);
}
void predictErrors(const double* c, uint32_t p, const double* x, int32_t step, uint32_t count,
                   double* errors) {
    if (dsp::runAvx2())
        predictAvx2(c, p, x, step, count, errors);
    else
        predictBaseline(c, p, x, step, count, errors);
}

// The squares of n errors: their sums in four lanes (sample i in lane
// i mod 4, in order) and the largest, into stats[0..3] and stats[4].
TARNIX_INLINE void squaresBody(const double* e, uint32_t n, double* stats) {
    Quad sum = {0.0, 0.0, 0.0, 0.0}, most = sum;
    for (uint32_t i = 0; i < n; i += 4) {
        const Quad q = quad(e + i) * quad(e + i);
        sum += q;
        most = q > most ? q : most;
    }
    for (uint32_t j = 0; j < 4; ++j)
        stats[j] = sum[j];
    const double a = most[0] > most[1] ? most[0] : most[1];
    const double b = most[2] > most[3] ? most[2] : most[3];
    stats[4] = a > b ? a : b;
}
void squaresBaseline(const double* e, uint32_t n, double* stats) {
    squaresBody(e, n, stats);
}
TARNIX_AVX2 void squaresAvx2(const double* e, uint32_t n, double* stats) {
    squaresBody(e, n, stats);
}
// n a multiple of four.
void squares(const double* e, uint32_t n, double* stats) {
    if (dsp::runAvx2())
        squaresAvx2(e, n, stats);
    else
        squaresBaseline(e, n, stats);
}

// r[k] = the sum of x[i + k] x[i] within n samples, for k from first to
// last only.
TARNIX_INLINE void lagProductsBody(const double* x, uint32_t n, uint32_t first, uint32_t last,
                                   double* r) {
    uint32_t k = first;
    for (; k + 3 <= last && k + 3 <= n; k += 4)
        laggedDots(x, n, k, r + k);
    for (; k <= last; ++k)
        r[k] = dot(x + k, x, n - k);
}

// r[k] = keep r[k] + the lag-k products of a stretch of n samples, for k up
// to p: with reach, x[i] x[i - k] for every i < n (the products reach back
// into the p samples before the stretch), else x[i + k] x[i] within it.
TARNIX_INLINE void correlateBody(const double* x, uint32_t n, uint32_t p, double keep, bool reach,
                                 double* r) {
    if (!reach) {
        double products[CNoiseBlanker::kMaxOrder + 1];
        lagProductsBody(x, n, 0, p, products);
        for (uint32_t k = 0; k <= p; ++k)
            r[k] = keep * r[k] + products[k];
        return;
    }
    // Four lags at a time: four chains of sums at once, each in four lanes
    // in a fixed order.
    uint32_t k = 0;
    for (; k + 3 <= p; k += 4) {
        const double* y = x - static_cast<int32_t>(k);
        Quad s0 = {0.0, 0.0, 0.0, 0.0}, s1 = s0, s2 = s0, s3 = s0;
        uint32_t i = 0;
        for (; i + 4 <= n; i += 4) {
            const Quad a = quad(x + i);
            s0 += a * quad(y + i);
            s1 += a * quad(y + i - 1);
            s2 += a * quad(y + i - 2);
            s3 += a * quad(y + i - 3);
        }
        Quad* sums[4] = {&s0, &s1, &s2, &s3};
        for (uint32_t j = 0; j < 4; ++j) {
            Quad& q = *sums[j];
            const double* yj = y - static_cast<int32_t>(j);
            for (uint32_t t = 0; i + t < n && t < 3; ++t)
                q[t] += x[i + t] * yj[i + t];
            r[k + j] = keep * r[k + j] + ((q[0] + q[1]) + (q[2] + q[3]));
        }
    }
    for (; k <= p; ++k)
        r[k] = keep * r[k] + dot(x, x - static_cast<int32_t>(k), n);
}
void correlateBaseline(const double* x, uint32_t n, uint32_t p, double keep, bool reach,
                       double* r) {
    correlateBody(x, n, p, keep, reach, r);
}
TARNIX_AVX2 void correlateAvx2(const double* x, uint32_t n, uint32_t p, double keep, bool reach,
                               double* r) {
    correlateBody(x, n, p, keep, reach, r);
}
void correlate(const double* x, uint32_t n, uint32_t p, double keep, bool reach, double* r) {
    if (dsp::runAvx2())
        correlateAvx2(x, n, p, keep, reach, r);
    else
        correlateBaseline(x, n, p, keep, reach, r);
}

void lagProductsBaseline(const double* x, uint32_t n, uint32_t first, uint32_t last, double* r) {
    lagProductsBody(x, n, first, last, r);
}
TARNIX_AVX2 void lagProductsAvx2(const double* x, uint32_t n, uint32_t first, uint32_t last,
                                 double* r) {
    lagProductsBody(x, n, first, last, r);
}
void lagProducts(const double* x, uint32_t n, uint32_t first, uint32_t last, double* r) {
    if (dsp::runAvx2())
        lagProductsAvx2(x, n, first, last, r);
    else
        lagProductsBaseline(x, n, first, last, r);
}

// Levinson-Durbin: the prediction error filter 1, a1, ..., ap of an
// autocorrelation (r is changed: a little white noise added keeps the model
// stable on a pure tone). An estimate that is not positive definite stops
// the model short where the next order would be unstable.
void levinson(double* r, uint32_t order, double* a) {
    r[0] *= 1.0 + 1e-5;
    for (uint32_t i = 0; i <= order; ++i)
        a[i] = 0.0;
    a[0] = 1.0;
    double error = r[0];
    for (uint32_t i = 1; i <= order; ++i) {
        double acc = r[i];
        for (uint32_t j = 1; j < i; ++j)
            acc += a[j] * r[i - j];
        const double k = -acc / error;
        if (!(k * k < 1.0)) break;
        // a[j] and a[i - j] from each other's old values, in place.
        for (uint32_t j = 1, h = i - 1; j <= h; ++j, --h) {
            const double low = a[j], high = a[h];
            a[j] = low + k * high;
            if (j != h) a[h] = high + k * low;
        }
        a[i] = k;
        error *= 1.0 - k * k;
    }
}

}  // namespace

uint32_t CNoiseBlanker::delayFor(int32_t sampleRate) {
    const Sizes s = sizesFor(sampleRate);
    return s.lookAhead + s.maxGap;
}

void CNoiseBlanker::configure(int32_t sampleRate) {
    const Sizes s = sizesFor(sampleRate);
    givenMode_ = false;
    order_ = s.order;
    maxGap_ = s.maxGap;
    modelInterval_ = s.modelInterval;
    levelWindow_ = s.levelWindow;
    repairOrder_ = s.repairOrder;
    oneMs_ = static_cast<uint32_t>((sampleRate < 8000 ? 8000 : sampleRate) / 1000);
    lookAhead_ = s.lookAhead;
    // A click's start may be found up to the longest gap before where its
    // event opened: the output waits for that too.
    delay_ = s.lookAhead + s.maxGap;
    // The error level follows over about 10 ms.
    levelWeight_ = 100.0 / (sampleRate < 8000 ? 8000 : sampleRate);
    keepLevel_[0] = 1.0;
    keepPeak_[0] = 1.0;
    for (uint32_t n = 1; n <= kBlock; ++n) {
        keepLevel_[n] = keepLevel_[n - 1] * (1.0 - levelWeight_);
        keepPeak_[n] = keepPeak_[n - 1] * (1.0 - 1.0 / levelWindow_);
    }
    // The model follows about 25 ms of the past: an exponential window with
    // a time constant of 12.5 ms.
    modelSpan_ = (sampleRate < 8000 ? 8000 : sampleRate) / 80.0;
    keep_ = 1.0 - 1.0 / modelSpan_;
    keepFeed_[0] = 1.0;
    for (uint32_t n = 1; n <= kBlock; ++n)
        keepFeed_[n] = keepFeed_[n - 1] * keep_;
    // Voice pitch from 400 Hz down to about 67 Hz, as far as the stretch
    // after a gap reaches past the short-term model.
    minPeriod_ = (sampleRate < 8000 ? 8000 : sampleRate) / 400;
    maxPeriod_ = atMost((sampleRate < 8000 ? 8000 : sampleRate) * 15 / 1000,
                        levelWindow_ - repairOrder_ - 1);
    for (uint32_t j = 0; j < kGuessWidths; ++j)
        guessDecays_[j] = dsp::pow(0.05, 2.0 / ((1u << j) * oneMs_));
    for (uint32_t k = 0; k < kGuessFrequencies; ++k)
        guessCosines_[k] = dsp::cos(dsp::kPi * (k + 0.5) / kGuessFrequencies);
    // Welch windows for the model fitted around a gap.
    for (uint32_t i = 0; i < levelWindow_; ++i) {
        const double u = (2.0 * i + 1.0) / levelWindow_ - 1.0;
        taper_[i] = 1.0 - u * u;
    }
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
    recentPeak_ = 0.0;
    count_ = 0;
    cursor_ = 0;
    nextModel_ = 0;
    eventStart_ = 0;
    eventOpen_ = false;
    repaired_ = 0;
    givenNext_ = 0;
}

void CNoiseBlanker::takeClicksAsGiven(const Gap* clicks, uint32_t count) {
    givenMode_ = true;
    given_ = clicks;
    givenCount_ = clicks ? count : 0;
    givenNext_ = 0;
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
    if (eventOpen_ || count_ - cursor_ >= kBlock) scan();
    return count_ > delay_ ? at(count_ - 1 - delay_) : 0.0;
}

void CNoiseBlanker::process(double* x, uint32_t length) {
    uint32_t n = 0;
    while (n < length) {
        // The samples before the next one that gives the scan work go in and
        // out as they are, just as one at a time.
        const uint64_t due = eventOpen_ ? eventStart_ + lookAhead_ : cursor_ + kBlock;
        const uint64_t before = due > count_ + 1 ? due - count_ - 1 : 0;
        const uint32_t run = before < length - n ? static_cast<uint32_t>(before) : length - n;
        for (const uint32_t end = n + run; n < end; ++n) {
            set(count_, x[n]);
            ++count_;
            x[n] = count_ > delay_ ? at(count_ - 1 - delay_) : 0.0;
        }
        if (n == length) break;
        x[n] = process(x[n]);
        ++n;
    }
}

void CNoiseBlanker::scan() {
    for (;;) {
        if (eventOpen_) {
            if (count_ < eventStart_ + lookAhead_) return;
            resolve();
            continue;
        }
        if (count_ - cursor_ < kBlock) return;
        if (givenMode_) {
            while (givenNext_ < givenCount_ && given_[givenNext_].first < cursor_)
                ++givenNext_;
            if (givenNext_ < givenCount_ && given_[givenNext_].first < cursor_ + kBlock) {
                cursor_ = eventStart_ = given_[givenNext_].first;
                eventOpen_ = true;
            } else {
                cursor_ += kBlock;
            }
            continue;
        }
        if (cursor_ >= nextModel_) {
            feed(cursor_);
            updateModel();
            nextModel_ = cursor_ + modelInterval_;
        }
        // The block's prediction errors, each summed in the same order, then
        // the samples in turn against the running level.
        const uint32_t p = order_;
        const double* x = ahead(cursor_ - p) + p;  // x[i - k] is sample cursor_ + i - k
        predictErrors(coefficients_, p, x, -1, kBlock, errors_);
        // The level holds over the block and learns from it afterwards (from
        // the samples before an event): a test per sample, no chain of
        // dependent sums.
        const double bound = threshold_ * threshold_ * errorLevel_;
        // Most blocks hold no event: their squares are summed side by side.
        double stats[5];
        squares(errors_, kBlock, stats);
        uint32_t n = kBlock;
        if (stats[4] > bound) {
            n = 0;
            while (!(errors_[n] * errors_[n] > bound))
                ++n;
            for (uint32_t j = 0; j < 5; ++j)
                stats[j] = 0.0;
            for (uint32_t i = 0; i < n; ++i) {
                const double e2 = errors_[i] * errors_[i];
                stats[i & 3] += e2;
                stats[4] = e2 > stats[4] ? e2 : stats[4];
            }
        }
        if (n > 0) {
            const double most = stats[4];
            const double mean = ((stats[0] + stats[1]) + (stats[2] + stats[3])) / n;
            recentPeak_ = keepPeak_[n] * recentPeak_;
            recentPeak_ = most > recentPeak_ ? most : recentPeak_;
            errorLevel_ = keepLevel_[n] * errorLevel_ + (1.0 - keepLevel_[n]) * mean;
            if (errorLevel_ < kErrorFloor) errorLevel_ = kErrorFloor;
            cursor_ += n;
        }
        if (n < kBlock) {
            eventOpen_ = true;
            eventStart_ = cursor_;
        }
    }
}

double CNoiseBlanker::forwardError(uint64_t t) {
    const double* x = window(t);
    double e = x[0];
    for (uint32_t k = 1; k <= order_; ++k)
        e += coefficients_[k] * x[-static_cast<int32_t>(k)];
    return e;
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
    // to date a stretch of up to a block at a time (the samples of a stretch
    // weigh alike): the same model as refitting a window every time, for
    // one product per lag and sample. Four sums in turn, in a fixed order.
    const uint32_t p = order_;
    while (fed_ < end) {
        const uint32_t n = end - fed_ < kBlock ? static_cast<uint32_t>(end - fed_) : kBlock;
        const double* x = ahead(fed_ - p) + p;  // x[i - k] is sample fed_ + i - k
        correlate(x, n, p, keepFeed_[n], true, correlation_);
        fed_ += n;
    }
}

void CNoiseBlanker::updateModel() {
    double r[kMaxOrder + 1];
    for (uint32_t k = 0; k <= order_; ++k)
        r[k] = correlation_[k];
    // Silence, or close to it: predict nothing.
    if (!(r[0] > modelSpan_ * 1e-2)) {
        for (double& c : coefficients_)
            c = 0.0;
        coefficients_[0] = 1.0;
        return;
    }
    levinson(r, order_, coefficients_);
}

bool CNoiseBlanker::aboveLevel(uint64_t first, double ratio, double value) const {
    // The level is the median magnitude (a neighbouring click does not raise
    // it). ratio times it lies below value exactly when ratio times more
    // than half the magnitudes does: a count, no selection.
    const double* x = ahead(first);
    uint32_t below = 0;
    for (uint32_t i = 0; i < levelWindow_; ++i)
        below += ratio * std::fabs(x[i]) < value;
    return below > levelWindow_ / 2;
}

void CNoiseBlanker::predict(const double* c, uint32_t p, uint64_t first, uint32_t count,
                            double* errors, bool backward) const {
    const double* x = backward ? ahead(first) : ahead(first - p) + p;
    predictErrors(c, p, x, backward ? 1 : -1, count, errors);
}

bool CNoiseBlanker::fitAround(uint64_t first, uint64_t last, uint32_t order, double* coefficients) {
    // The autocorrelation of each side under a Welch window, summed: no
    // product spans the gap.
    const uint32_t w = levelWindow_;
    double r[kMaxOrder + 1] = {};
    for (int side = 0; side < 2; ++side) {
        const uint64_t from = side == 0 ? first - w : last + 1;
        for (uint32_t i = 0; i < w; ++i)
            tapered_[i] = taper_[i] * at(from + i);
        correlate(tapered_, w, order, 1.0, false, r);
    }
    if (!(r[0] > w * kErrorFloor)) return false;
    levinson(r, order, coefficients);
    return true;
}

void CNoiseBlanker::repairGiven() {
    const uint64_t s = eventStart_;
    uint64_t last = given_[givenNext_++].last;
    if (last < s) last = s;
    if (last - s >= maxGap_) last = s + maxGap_ - 1;
    cursor_ = last + 1;
    if (!fitAround(s, last, repairOrder_, repair_)) return;
    const double errorMedian = errorsAround(s, last, repair_, repairOrder_);
    if (!repair(s, last, errorMedian)) return;
    // A ringing is taken out as the detector's clicks are, so that this
    // stays what a perfect detector would leave. A given click is all of
    // its span: no ringing past it is guessed at.
    double a1 = 0.0, a2 = 0.0, unfitted = 0.0;
    if (resonance(s, last, a1, a2, unfitted)) subtractRinging(s, last, errorMedian, true, a1, a2);
    logGap(s, last);
}

bool CNoiseBlanker::repair(uint64_t first, uint64_t last, double errorMedian) {
    for (uint64_t t = first; t <= last; ++t)
        raw_[t - first] = at(t);
    // The error variance of a normal error with that median.
    const double spread = kMedianToDeviation * errorMedian;
    return interpolate(first, last, repairFilter(first, last, repair_, repairOrder_),
                       spread * spread);
}

void CNoiseBlanker::logGap(uint64_t first, uint64_t last) {
    gaps_[repaired_ % kGapLog] = {first, last};
    ++repaired_;
}

double CNoiseBlanker::errorsAround(uint64_t first, uint64_t last, const double* c, uint32_t p) {
    const uint32_t side = levelWindow_ - p, n = 2 * side;
    double* e = magnitudes_;
    predict(c, p, first - side, side, e, false);
    predict(c, p, last + 1, side, e + side, true);
    for (uint32_t i = 0; i < n; ++i) {
        e[i] = std::fabs(e[i]);
        residual_[i] = e[i];
    }
    // No lower than the median of errors of one step: a noiseless signal's
    // errors say nothing finer, and a voice cut off into digital silence
    // would otherwise stand out against next to nothing.
    const double median = dsp::kthSmallest(residual_, selectSpare_, n, n / 2);
    return median > kErrorFloor / kMedianToDeviation ? median : kErrorFloor / kMedianToDeviation;
}

void CNoiseBlanker::peaksAround(double median, uint32_t p, double& beforePeak, double& afterPeak) {
    const uint32_t side = levelWindow_ - p, n = 2 * side;
    double* e = magnitudes_;
    // Running maxima of e from `from` up to i (before[i], i excluded) and
    // from i up to `to` (after[i]): the highest error beside any span is
    // then two look-ups.
    double* before = residual_;
    double* after = selectSpare_;
    // The highest error of e[from..to) but for its highest burst, left out
    // as far as it stands above the errors around, if no longer than a
    // click (else at least a millisecond either side of its peak); the
    // burst's span is [low, top].
    const auto besideBurst = [&](uint32_t from, uint32_t to, double& highest, uint32_t& low,
                                 uint32_t& top) {
        uint32_t most = from;
        before[from] = 0.0;
        for (uint32_t i = from; i < to; ++i) {
            most = e[i] > before[i] ? i : most;
            before[i + 1] = e[i] > before[i] ? e[i] : before[i];
        }
        after[to] = 0.0;
        for (uint32_t i = to; i-- > from;)
            after[i] = e[i] > after[i + 1] ? e[i] : after[i + 1];
        const auto restBeside = [&](uint32_t low, uint32_t top) {
            const double a = before[low > from ? low : from];
            const double b = after[top + 1 < to ? top + 1 : to];
            return b > a ? b : a;
        };
        const double high = kGrowRatio * median;
        highest = e[most];
        low = top = most;
        const uint32_t reach = oneMs_ / 2;
        for (bool grown = true; grown;) {
            grown = false;
            for (uint32_t j = 1; !grown && j <= reach && low >= from + j; ++j)
                if (e[low - j] > high) low -= j, grown = true;
        }
        for (bool grown = true; grown;) {
            grown = false;
            for (uint32_t j = 1; !grown && j <= reach && top + j < to; ++j)
                if (e[top + j] > high) top += j, grown = true;
        }
        if (top - low >= maxGap_) low = top = most;
        low = most >= oneMs_ && low > most - oneMs_ ? most - oneMs_ : low;
        top = top < most + oneMs_ ? most + oneMs_ : top;
        // A burst that stands kBurstRatio times above all that is left is a
        // click, and the high errors within the longest click of it are its
        // own too: a decaying burst's tail dips under the errors around now
        // and then, and what comes after the dip would stand for the
        // signal's level. The model's errors spread a click by its order.
        const uint32_t spread = maxGap_ + p;
        const uint32_t end = atMost(low + spread, to);
        uint32_t clickLow = low, clickTop = top;
        for (uint32_t j = top + 1; j < end; ++j)
            clickTop = e[j] > high ? j : clickTop;
        const uint32_t start = clickTop + 1 >= from + spread ? clickTop + 1 - spread : from;
        for (uint32_t j = low; j-- > start;)
            clickLow = e[j] > high ? j : clickLow;
        const double rest = restBeside(clickLow, clickTop);
        if (!(highest > kBurstRatio * rest)) return restBeside(low, top);
        low = clickLow, top = clickTop;
        return rest;
    };
    // After it, the second highest burst of errors: the next click may come
    // within 20 ms, but a voice's next glottal pulse comes too. Clicks come
    // in clusters: the burst after that is left out as well where it stands
    // out as a click would (a voice's pulses stand alike).
    uint32_t low = 0, top = 0;
    double highest = 0.0;
    afterPeak = besideBurst(side, n, highest, low, top);
    if (afterPeak > kGrowRatio * median) {
        for (uint32_t i = low > side ? low : side; i <= top && i < n; ++i)
            e[i] = 0.0;
        double next = 0.0;
        const double rest = besideBurst(side, n, next, low, top);
        if (next > kStandRatio * rest) afterPeak = rest;
    }
    // Before it, the highest error, unless that is a burst standing as far
    // above all the rest there as a click must, among errors no quieter
    // than those after: a click missed just before would otherwise hide
    // this one, and the next, through dense crackle. (A lone burst in near
    // silence before a sound is the sound's own start.)
    const double rest = besideBurst(0, side, highest, low, top);
    const bool missedClick = highest > kStandRatio * rest && !(kStandRatio * rest < afterPeak);
    beforePeak = missedClick ? rest : highest;
}

void CNoiseBlanker::resolve() {
    eventOpen_ = false;
    if (givenMode_) {
        repairGiven();
        return;
    }
    uint64_t s = eventStart_;
    const double limit = threshold_ * threshold_ * errorLevel_;
    uint64_t last = s;
    // The last sample the samples after it do not predict, in a run whose
    // quiet stretches are shorter than the model's order (past that, what
    // comes is something else: speech after the click, the next click).
    for (uint64_t t = s; t < s + maxGap_ + order_ && t <= last + order_; ++t) {
        const double b = backwardError(t);
        if (b * b > limit) last = t;
    }
    // A run too long for a click may still open with one that the voice or
    // a ringing tail runs on from; if not, it is an onset.
    const bool longRun = !(last < s + maxGap_);
    if (longRun && !clickOpensRun(s, last)) {
        takeOnset();
        return;
    }
    bool click = true;
    // First, cheaply: an event no larger than the errors of the last 20 ms
    // (the voice's glottal pulses) is no click.
    double eventPeak = 0.0;
    for (uint64_t t = s; t <= last; ++t) {
        const double e = forwardError(t);
        eventPeak = e * e > eventPeak ? e * e : eventPeak;
    }
    if (!(eventPeak > kRecentRatio * kRecentRatio * recentPeak_)) {
        if (longRun) {
            takeOnset();
            return;
        }
        recentPeak_ = eventPeak > recentPeak_ ? eventPeak : recentPeak_;
        cursor_ = last + 1;
        return;
    }
    // A model fitted to both sides of the gap, with the gap left out: it
    // tells where the click's edges are, whether it is one, and fills it.
    const uint32_t p = repairOrder_;
    const double* c = repair_;
    const auto forward = [&](uint64_t t) {
        double e = 0.0;
        for (uint32_t k = 0; k <= p; ++k)
            e += c[k] * at(t - k);
        return e;
    };
    const auto backward = [&](uint64_t t) {
        double e = 0.0;
        for (uint32_t k = 0; k <= p; ++k)
            e += c[k] * at(t + k);
        return e;
    };
    double gapPeak = 0.0, beforePeak = 0.0, afterPeak = 0.0, errorMedian = 0.0;
    // Whether value stands ratio times above the signal's level on either
    // side of a gap (the higher).
    const auto aboveAround = [&](uint64_t first, uint64_t last, double ratio, double value) {
        return aboveLevel(first - levelWindow_, ratio, value) && aboveLevel(last + 1, ratio, value);
    };
    uint64_t tailFirst = s, tailLast = last;
    for (uint32_t pass = 0; click && pass < kPasses; ++pass) {
        click = fitAround(s, last, p, repair_);
        if (!click) break;
        // Its edges: go on while the errors stand above the errors around
        // (their median, which the click's own edges left outside the gap
        // do not raise).
        errorMedian = errorsAround(s, last, c, p);
        const double typical = kGrowRatio * errorMedian;
        const double grow = typical * typical;
        bool grown = false;
        for (;;) {
            uint32_t step = 0;
            for (uint32_t j = 1; step == 0 && j <= kEdgeStep && j <= s; ++j) {
                const double e = forward(s - j);
                if (e * e > grow) step = j;
            }
            if (step == 0 || last - s + step >= maxGap_) break;
            s -= step;
            grown = true;
        }
        for (;;) {
            uint32_t step = 0;
            for (uint32_t j = 1; step == 0 && j <= kEdgeStep; ++j) {
                const double e = backward(last + j);
                if (e * e > grow) step = j;
            }
            if (step == 0 || last - s + step >= maxGap_) break;
            last += step;
            grown = true;
        }
        // A click that has rung through a receiver's filters decays slowly,
        // and the model predicts its tail: that goes on while it stays well
        // above the signal around.
        if (pass == 0) tailFirst = s, tailLast = last;
        while (last - s + 1 < maxGap_) {
            double most = 0.0;
            for (uint32_t i = 1; i <= oneMs_ / 2; ++i)
                most = std::fabs(at(last + i)) > most ? std::fabs(at(last + i)) : most;
            if (!aboveAround(tailFirst, tailLast, kTailRatio, most)) break;
            ++last;
            grown = true;
        }
        if (!grown) break;
    }
    if (click) {
        // What stands around it, from the last pass's errors.
        peaksAround(errorMedian, p, beforePeak, afterPeak);
        for (uint64_t t = s; t <= last; ++t) {
            const double e = forward(t);
            gapPeak = std::fabs(e) > gapPeak ? std::fabs(e) : gapPeak;
        }
        const uint32_t m = static_cast<uint32_t>(last - s + 1);
        const double around = beforePeak > afterPeak ? beforePeak : afterPeak;
        // The longer it is, the more it must stand out: a plosive's burst
        // lasts some milliseconds.
        const double over = m > oneMs_ ? static_cast<double>(m - oneMs_) / (3 * oneMs_) : 0.0;
        click = gapPeak > kStandRatio * (1.0 + over) * around;
        // A click: filled under the model fitted around it, and what that
        // takes out must stand above the signal's own level.
        if (click) {
            click = repair(s, last, errorMedian);
            double removed = 0.0;
            for (uint32_t i = 0; click && i < m; ++i) {
                const double d = std::fabs(raw_[i] - at(s + i));
                removed = d > removed ? d : removed;
            }
            if (!aboveAround(s, last, kLevelRatio, removed)) {
                for (uint32_t i = 0; i < m; ++i)
                    set(s + i, raw_[i]);
                click = false;
            }
        }
    }
    if (click) {
        // Its ringing: taken out of the raw samples where a damped
        // oscillation fits it; else, where the model around predicts it,
        // the gap grows over it and is filled again (or kept as it was if
        // it cannot be).
        double a1 = 0.0, a2 = 0.0, unfitted = 0.0;
        const bool rings = resonance(s, last, a1, a2, unfitted);
        if ((rings || unfitted < kGuessFit) &&
            subtractRinging(s, last, errorMedian, rings, a1, a2)) {
            logGap(s, last);
            cursor_ = last + 1;
            return;
        }
        const uint64_t rung = rings ? ringsOn(s, last, errorMedian, a1, a2) : last;
        if (rung > last && fitAround(s, rung, p, repair_)) {
            const uint32_t m = static_cast<uint32_t>(last - s + 1);
            for (uint32_t i = 0; i < m; ++i) {
                filled_[i] = at(s + i);
                set(s + i, raw_[i]);
            }
            if (repair(s, rung, errorsAround(s, rung, c, p))) {
                last = rung;
            } else {
                for (uint32_t i = 0; i < m; ++i)
                    set(s + i, filled_[i]);
            }
        }
        logGap(s, last);
        cursor_ = last + 1;
        return;
    }
    // The signal itself. A short event: go on after it. Its peak is not
    // taken into the recent one: a click the closer look let pass would
    // hide the next from the first test.
    if (!longRun) {
        cursor_ = last + 1;
        return;
    }
    takeOnset();
}

bool CNoiseBlanker::clickOpensRun(uint64_t first, uint64_t& last) {
    // The backward errors as far as the look-ahead reaches.
    const uint32_t n = maxGap_ + levelWindow_ - order_;
    double* b2 = residual_;
    predict(coefficients_, order_, first, n, b2, true);
    double peak = 0.0;
    for (uint32_t i = 0; i < n; ++i) {
        b2[i] *= b2[i];
        peak = b2[i] > peak ? b2[i] : peak;
    }
    // A run as long as a click and a half is a crash or an onset.
    const double limit = threshold_ * threshold_ * errorLevel_;
    uint32_t run = 0;
    for (uint32_t i = 0; i < n && i <= run + order_; ++i)
        if (b2[i] > limit) run = i;
    if (!(run + 1 < kCrashRatio * maxGap_)) return false;
    // Else a click if its errors stand above half their peak only within
    // the longest click: the rest is the next click or the voice.
    uint32_t end = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (!(b2[i] > kRunShare * kRunShare * peak)) continue;
        if (i >= maxGap_) return false;
        end = i;
    }
    last = first + end;
    return true;
}

bool CNoiseBlanker::resonance(uint64_t first, uint64_t last, double& a1, double& a2,
                              double& unfitted) {
    // unfitted: the share of the removal's energy the poles leave (none
    // where too few samples tell).
    unfitted = 0.0;
    const uint32_t m = static_cast<uint32_t>(last - first + 1);
    if (m < kRingSamples) return false;
    // Two poles fitted to the removal by least squares.
    double* d = ringing_;
    for (uint32_t i = 0; i < m; ++i)
        d[i] = raw_[i] - at(first + i);
    double r11 = 0.0, r12 = 0.0, r22 = 0.0, q1 = 0.0, q2 = 0.0, energy = 0.0;
    for (uint32_t i = 2; i < m; ++i) {
        r11 += d[i - 1] * d[i - 1];
        r12 += d[i - 1] * d[i - 2];
        r22 += d[i - 2] * d[i - 2];
        q1 += d[i] * d[i - 1];
        q2 += d[i] * d[i - 2];
        energy += d[i] * d[i];
    }
    const double det = r11 * r22 - r12 * r12;
    if (!(det > 0.0) || !(energy > 0.0)) return false;
    a1 = (q1 * r22 - q2 * r12) / det;
    a2 = (q2 * r11 - q1 * r12) / det;
    const double left = energy - a1 * q1 - a2 * q2;
    unfitted = left / energy;
    // A resonance (two complex poles) inside the unit circle, that fits.
    return a1 * a1 + 4.0 * a2 < 0.0 && -a2 < 1.0 && left < kRingFit * energy;
}

uint64_t CNoiseBlanker::ringsOn(uint64_t first, uint64_t last, double errorMedian, double a1,
                                double a2) {
    const uint32_t m = static_cast<uint32_t>(last - first + 1);
    if (m >= maxGap_) return last;
    double* d = ringing_;
    // Carried on past the gap: it rings on while its largest magnitude
    // within the next millisecond (a period's zero crossings between)
    // stands kRingRatio times above the median error around.
    const uint32_t look = atMost(oneMs_, kMaxGap);
    const uint32_t room = maxGap_ - m, span = room + look;
    double y1 = d[m - 1], y2 = d[m - 2];
    for (uint32_t j = 0; j < span; ++j) {
        const double y = a1 * y1 + a2 * y2;
        d[j] = std::fabs(y);
        y2 = y1;
        y1 = y;
    }
    // It ends where the first millisecond of it with nothing above that
    // begins.
    const double bound = kRingRatio * errorMedian;
    uint32_t quiet = 0;
    for (uint32_t j = 0; j < span; ++j) {
        quiet = d[j] > bound ? 0 : quiet + 1;
        if (quiet == look) return last + atMost(j + 1 - look, room);
    }
    return last + room;
}

bool CNoiseBlanker::subtractRinging(uint64_t first, uint64_t last, double errorMedian, bool rings,
                                    double a1, double a2) {
    // Over the gap and twice its length after it, at least kRingMs, as far
    // as the look-ahead holds the samples the errors need.
    const uint32_t p = repairOrder_;
    const uint32_t m = static_cast<uint32_t>(last - first + 1);
    uint32_t span = (1 + kRingOn) * m;
    if (span < kRingMs * oneMs_) span = kRingMs * oneMs_;
    const uint32_t length = atMost(span, lookAhead_ - p);
    for (uint32_t i = 0; i < m; ++i) {
        filled_[i] = at(first + i);
        set(first + i, raw_[i]);
    }
    const auto restore = [&] {
        for (uint32_t i = 0; i < m; ++i)
            set(first + i, filled_[i]);
        return false;
    };
    predict(repair_, p, first, length + p, ringErrors_, false);
    double energy = 0.0;
    for (uint32_t t = 0; t < length + p; ++t)
        energy += ringErrors_[t] * ringErrors_[t];
    ringErrorEnergy_ = energy;
    // The model's errors' normal energy there.
    const double spread = kMedianToDeviation * errorMedian;
    const double normal = (length + p) * spread * spread;
    double weights[2] = {0.0, 0.0}, tried[2];
    double r = 0.0, cw = 0.0, best = energy;
    const auto start = [&](double decay, double cosine) {
        const double left = leftAfterRinging(decay, cosine, length, tried);
        if (!(left < best)) return;
        best = left;
        r = decay;
        cw = cosine;
        weights[0] = tried[0];
        weights[1] = tried[1];
    };
    if (rings) {
        // The decay from the fitted poles, or one that falls to a twentieth
        // over the gap or over half of it (the poles fitted to a removal
        // that holds the voice's own errors are often far off): the best of
        // these starts the search.
        const double r0 = std::sqrt(-a2);
        r = r0;
        cw = a1 / (2.0 * r0);
        const double cw0 = cw;
        for (double decay : {r0, dsp::pow(0.05, 1.0 / m), dsp::pow(0.05, 2.0 / m)})
            start(decay, cw0);
    } else {
        for (double decay : guessDecays_)
            for (double cosine : guessCosines_)
                start(decay, cosine);
        if (!(best < kGuessScreen * kGuessRatio * normal)) return restore();
    }
    double dr = 0.25 * (1.0 - r), dc = 0.2 * (1.0 - cw);
    for (uint32_t step = 0; step < kSearchSteps; ++step) {
        const double moves[4][2] = {{r + dr, cw}, {r - dr, cw}, {r, cw + dc}, {r, cw - dc}};
        bool moved = false;
        for (const auto& move : moves) {
            if (!(move[0] > 0.0 && move[0] < 1.0 && move[1] > -1.0 && move[1] < 1.0)) continue;
            const double left = leftAfterRinging(move[0], move[1], length, tried);
            if (!(left < best)) continue;
            best = left;
            r = move[0];
            cw = move[1];
            weights[0] = tried[0];
            weights[1] = tried[1];
            moved = true;
        }
        if (!moved) {
            dr *= 0.5;
            dc *= 0.5;
        }
    }
    if (!(best < (rings ? kSubtractRatio : kGuessRatio) * normal)) return restore();
    const double zr = r * cw, zi = r * std::sqrt(1.0 - cw * cw);
    double wr = 1.0, wi = 0.0;
    for (uint32_t i = 0; i < length; ++i) {
        set(first + i, at(first + i) - (weights[0] * wr + weights[1] * wi));
        multiplyBy(wr, wi, zr, zi);
    }
    return true;
}

double CNoiseBlanker::leftAfterRinging(double r, double cw, uint32_t length,
                                       double* weights) const {
    // The model's errors of z^k (z = r e^iw, k from 0 to length - 1, zero
    // elsewhere) at t = sum c[k] z^(t - k) over the k that reach it: from
    // q[t] = sum over k <= t of c[k] z^(t - k) (Horner) while t < p, then
    // z^(t - p) times q[p] and, past the end, times the tail sums
    // s[u] = sum over k >= u of c[k] z^(p - k). No sum is longer than the
    // model, whatever the length.
    const uint32_t p = repairOrder_;
    const double* c = repair_;
    const double zr = r * cw, zi = r * std::sqrt(1.0 - cw * cw);
    double qr[kMaxOrder + 1], qi[kMaxOrder + 1], sr[kMaxOrder + 2], si[kMaxOrder + 2];
    qr[0] = c[0];
    qi[0] = 0.0;
    for (uint32_t j = 1; j <= p; ++j) {
        qr[j] = qr[j - 1] * zr - qi[j - 1] * zi + c[j];
        qi[j] = qr[j - 1] * zi + qi[j - 1] * zr;
    }
    sr[p + 1] = si[p + 1] = 0.0;
    double pr = 1.0, pi = 0.0;  // z^(p - u)
    for (uint32_t u = p; u >= 1; --u) {
        sr[u] = sr[u + 1] + c[u] * pr;
        si[u] = si[u + 1] + c[u] * pi;
        multiplyBy(pr, pi, zr, zi);
    }
    // z^length, for a template shorter than the model.
    double lr = 1.0, li = 0.0;
    for (uint32_t k = 0; k < length && length < p; ++k)
        multiplyBy(lr, li, zr, zi);
    double uu = 0.0, uv = 0.0, vv = 0.0, eu = 0.0, ev = 0.0;
    double wr = 1.0, wi = 0.0;  // z^(t - p)
    for (uint32_t t = 0; t < length + p; ++t) {
        double fr, fi;
        if (t < p && t < length) {
            fr = qr[t];
            fi = qi[t];
        } else if (t < p) {
            // z^length q[t - length] is what the end left out.
            fr = qr[t] - (lr * qr[t - length] - li * qi[t - length]);
            fi = qi[t] - (lr * qi[t - length] + li * qr[t - length]);
        } else {
            const double hr = t < length ? qr[p] : sr[t - length + 1];
            const double hi = t < length ? qi[p] : si[t - length + 1];
            fr = wr * hr - wi * hi;
            fi = wr * hi + wi * hr;
            multiplyBy(wr, wi, zr, zi);
        }
        const double e = ringErrors_[t];
        uu += fr * fr;
        uv += fr * fi;
        vv += fi * fi;
        eu += e * fr;
        ev += e * fi;
    }
    // The weights of the two parts by least squares.
    const double det = uu * vv - uv * uv;
    if (!(det > 0.0)) return ringErrorEnergy_;
    weights[0] = (eu * vv - ev * uv) / det;
    weights[1] = (ev * uu - eu * uv) / det;
    return ringErrorEnergy_ - weights[0] * eu - weights[1] * ev;
}

void CNoiseBlanker::takeOnset() {
    // A long event (an onset, a burst): take its error level, so that what
    // follows it is judged against it, and go on with the next sample. The
    // level is that of a normal error with the same median magnitude: a
    // click within the stretch (an onset runs on into it) does not raise it
    // and so hide itself.
    const uint64_t s = eventStart_;
    for (uint32_t i = 0; i < maxGap_; ++i)
        magnitudes_[i] = std::fabs(forwardError(s + i));
    const double spread =
        kMedianToDeviation * dsp::kthSmallest(magnitudes_, selectSpare_, maxGap_, maxGap_ / 2);
    const double mean = spread * spread;
    if (mean > errorLevel_) errorLevel_ = mean;
    cursor_ = s + 1;
}

uint32_t CNoiseBlanker::repairFilter(uint64_t first, uint64_t last, const double* c, uint32_t p) {
    // The short-term model's errors on either side of the gap, zero (and
    // left out) where they would reach into it.
    const uint32_t w = levelWindow_;
    const uint32_t m = static_cast<uint32_t>(last - first + 1);
    const uint32_t n = w + m + w;
    const uint64_t from = first - w;
    for (uint32_t i = 0; i < n; ++i) {
        residual_[i] = 0.0;
        known_[i] = 0.0;
    }
    predict(c, p, from + p, w - p, residual_ + p, false);
    predict(c, p, last + p + 1, w - p, residual_ + w + m + p, false);
    for (uint32_t i = 0; i < w - p; ++i)
        known_[p + i] = known_[w + m + p + i] = 1.0;
    // The period whose one-tap predictor takes the most out of those errors,
    // pairs across the gap included. The energy it predicts from is that of
    // the errors a period before the known ones: a difference of running
    // sums over the two known stretches.
    const double* e = residual_;
    energyBefore_[0] = 0.0;
    for (uint32_t i = 0; i < n; ++i)
        energyBefore_[i + 1] = energyBefore_[i] + e[i] * e[i];
    const auto energy = [&](uint32_t from, uint32_t to, uint32_t T) {
        const uint32_t a = from > T ? from - T : 0, b = to > T ? to - T : 0;
        return energyBefore_[b] - energyBefore_[a];
    };
    lagProducts(e, n, minPeriod_, maxPeriod_, lagProducts_);
    double bestScore = 0.0, beta = 0.0;
    uint32_t period = 0;
    for (uint32_t T = minPeriod_; T <= maxPeriod_; ++T) {
        const double cross = lagProducts_[T];
        const double past = energy(p, w, T) + energy(w + m + p, n, T);
        if (!(cross > 0.0) || !(cross * cross > bestScore * past)) continue;
        bestScore = cross * cross / past;
        beta = cross / past;
        period = T;
    }
    for (uint32_t k = 0; k <= p; ++k)
        longFilter_[k] = c[k];
    holeFirst_ = holeEnd_ = p + 1;
    if (period == 0) return p + 1;
    // Three taps around it, so that a period between two samples is
    // followed too (least squares); one tap where that fails.
    double taps[3] = {0.0, beta, 0.0};
    if (period > minPeriod_ && period < maxPeriod_) pitchTaps(period, n, taps);
    const double sum = taps[0] + taps[1] + taps[2];
    if (!(sum > 0.0)) return p + 1;
    if (sum > 1.0)
        for (double& b : taps)
            b /= sum;
    // The short-term error filter followed by the long-term one.
    const uint32_t length = p + period + 2;
    for (uint32_t k = p + 1; k < length; ++k)
        longFilter_[k] = 0.0;
    if (period - 1 > p + 1) holeEnd_ = period - 1;
    for (uint32_t j = 0; j < 3; ++j)
        for (uint32_t k = 0; k <= p; ++k)
            longFilter_[period - 1 + j + k] -= taps[j] * c[k];
    return length;
}

void CNoiseBlanker::pitchTaps(uint32_t period, uint32_t n, double* taps) const {
    double R[3][3] = {}, r[3] = {};
    const double* e = residual_;
    for (uint32_t i = period + 1; i < n; ++i) {
        for (uint32_t a = 0; a < 3; ++a) {
            const double ea = e[i + 1 - period - a];
            r[a] += e[i] * ea;
            for (uint32_t b = 0; b < 3; ++b)
                R[a][b] += known_[i] * ea * e[i + 1 - period - b];
        }
    }
    // Cholesky, a little loading on the diagonal for a pure tone.
    for (uint32_t a = 0; a < 3; ++a)
        R[a][a] *= 1.0 + 1e-6;
    if (!(R[0][0] > 0.0)) return;
    const double l00 = std::sqrt(R[0][0]);
    const double l10 = R[1][0] / l00, l20 = R[2][0] / l00;
    const double d11 = R[1][1] - l10 * l10;
    if (!(d11 > 0.0)) return;
    const double l11 = std::sqrt(d11);
    const double l21 = (R[2][1] - l20 * l10) / l11;
    const double d22 = R[2][2] - l20 * l20 - l21 * l21;
    if (!(d22 > 0.0)) return;
    const double l22 = std::sqrt(d22);
    const double y0 = r[0] / l00, y1 = (r[1] - l10 * y0) / l11;
    const double y2 = (r[2] - l20 * y0 - l21 * y1) / l22;
    const double b2 = y2 / l22, b1 = (y1 - l21 * b2) / l11;
    const double b0 = (y0 - l10 * b1 - l20 * b2) / l00;
    // Only a predictor that takes something out.
    if (!(b0 * r[0] + b1 * r[1] + b2 * r[2] > 0.0)) return;
    taps[0] = b0;
    taps[1] = b1;
    taps[2] = b2;
}

double CNoiseBlanker::filterDot(const double* y, uint32_t n) const {
    const double* h = longFilter_;
    const double low = dot(h, y, n < holeFirst_ ? n : holeFirst_);
    return n > holeEnd_ ? low + dot(h + holeEnd_, y + holeEnd_, n - holeEnd_) : low;
}

bool CNoiseBlanker::interpolate(uint64_t first, uint64_t last, uint32_t length, double excitation) {
    const double* h = longFilter_;
    const uint32_t m = static_cast<uint32_t>(last - first + 1);
    // The errors over the gap and the filter's length after it, split into
    // the part the known samples make (the filter over the samples around
    // with the gap's as zero; h[0] is 1)...
    const uint32_t reach = length - 1;
    for (uint32_t j = 0; j < reach; ++j) {
        gapless_[j] = at(first - reach + j);
        gapless_[reach + m + j] = at(last + 1 + j);
    }
    for (uint32_t i = 0; i < m; ++i)
        gapless_[reach + i] = 0.0;
    predictErrors(h, reach, gapless_ + reach, -1, m + reach, residual_);
    // ...and the unknowns' part: minimising the sum of their squares gives
    // the normal equations M x = rhs, M symmetric Toeplitz with the filter's
    // autocorrelation.
    for (uint32_t d = 0; d < m; ++d)
        filterCorrelation_[d] = d < length ? filterDot(h + d, length - d) : 0.0;
    for (uint32_t i = 0; i < m; ++i)
        knownPart_[i] = -filterDot(residual_ + i, length);
    for (uint32_t d = 0; d < m; ++d) {
        toeplitz_[d] = filterCorrelation_[d];
        rhs_[d] = knownPart_[d];
    }
    if (!solveToeplitz(m)) return false;
    // A click adds to the signal rather than taking its place: the samples
    // under it still tell something of the signal where the click is weak.
    // With the click's variance c (what the first estimate leaves of the
    // raw samples) and the error variance e, the most probable samples
    // minimise the errors' squares over e plus their distances to the raw
    // samples' squares over c: e/c more on the diagonal and, times the raw
    // samples, on the right.
    double click = 0.0;
    for (uint32_t i = 0; i < m; ++i) {
        const double d = raw_[i] - solution_[i];
        click += d * d;
    }
    click /= m;
    if (excitation > 0.0 && click > 0.0) {
        const double weight = excitation / click;
        for (uint32_t d = 0; d < m; ++d) {
            toeplitz_[d] = filterCorrelation_[d];
            rhs_[d] = knownPart_[d] + weight * raw_[d];
        }
        toeplitz_[0] += weight;
        if (!solveToeplitz(m)) return false;
    }
    for (uint32_t i = 0; i < m; ++i)
        set(first + i, solution_[i]);
    return true;
}

bool CNoiseBlanker::solveToeplitz(uint32_t m) {
    // Levinson's recursion for a general right-hand side (Golub and Van
    // Loan), on the system scaled to a unit diagonal: solution_ holds the
    // solution of the leading k equations, reflection_ that of the k-th
    // order Yule-Walker equations.
    const double r0 = toeplitz_[0];
    if (!(r0 > 0.0)) return false;
    for (uint32_t d = 0; d < m; ++d)
        toeplitz_[d] /= r0;
    double* x = solution_;
    double* y = reflection_;
    x[0] = rhs_[0] / r0;
    double scale = 1.0, alpha = m > 1 ? -toeplitz_[1] : 0.0;
    y[0] = alpha;
    for (uint32_t k = 1; k < m; ++k) {
        scale *= 1.0 - alpha * alpha;
        if (!(scale > 0.0)) return false;
        double acc = rhs_[k] / r0;
        for (uint32_t j = 0; j < k; ++j)
            acc -= toeplitz_[j + 1] * x[k - 1 - j];
        const double mu = acc / scale;
        for (uint32_t j = 0; j < k; ++j)
            work_[j] = x[j] + mu * y[k - 1 - j];
        for (uint32_t j = 0; j < k; ++j)
            x[j] = work_[j];
        x[k] = mu;
        if (k + 1 < m) {
            double a = -toeplitz_[k + 1];
            for (uint32_t j = 0; j < k; ++j)
                a -= toeplitz_[j + 1] * y[k - 1 - j];
            alpha = a / scale;
            for (uint32_t j = 0; j < k; ++j)
                work_[j] = y[j] + alpha * y[k - 1 - j];
            for (uint32_t j = 0; j < k; ++j)
                y[j] = work_[j];
            y[k] = alpha;
        }
    }
    return true;
}
