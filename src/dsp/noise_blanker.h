// Noise blanker: takes short impulses (clicks, crackle) out of the signal in
// the time domain, before any filter spreads them.
//
// Detection works on the prediction error of an autoregressive model fitted
// to the recent past (the autocorrelation under an exponential window of
// about 25 ms, Levinson-Durbin every 8 ms): tones and voiced speech are
// predicted well, so a click stands out there far more than in the raw
// amplitude. A sample whose forward prediction error exceeds the threshold
// times the running error level opens an event; its end is the last sample
// whose backward prediction error (from the samples after it) is still above
// the threshold. The event is then judged with a second model, fitted to the
// 20 ms on either side of it with the event left out: its edges grow while
// that model's errors stand above the errors around, and it is a click only
// if it is short and its own error stands well above every error around it
// (a glottal pulse recurs a pitch period later, a plosive's burst goes on,
// a keyed tone's edge is no larger than the tone). A click's samples are
// replaced by the least-squares interpolation from both sides under that
// model followed by a long-term predictor (three taps at the period that
// best predicts the model's errors around the gap): the samples that make
// the combined prediction error smallest over the gap and the filter's
// length after it. Under a vowel the gap gets the glottal pulse a period
// away, not only the smooth curve a short-term model gives; the normal
// equations are Toeplitz and solved by Levinson's recursion.
//
// The decisions need samples after a click, and a click's start may be
// found before where its event opened, so the output is the input delay()
// samples late. Every buffer is fixed; nothing allocates after configure().
#pragma once

#include <cstdint>

class CNoiseBlanker {
  public:
    static constexpr uint32_t kMaxOrder = 64;
    static constexpr uint32_t kMaxGap = 320;     // 6 ms at 48000 Hz and the edges
    static constexpr uint32_t kHistory = 4096;   // a power of two
    static constexpr uint32_t kMaxWindow = 960;  // 20 ms at 48000 Hz
    static constexpr double kDefaultThreshold = 5.0;
    static constexpr double kMinThreshold = 3.0;
    static constexpr double kMaxThreshold = 100.0;

    // Sizes everything for a sampling rate (8000 to 48000 Hz) and clears.
    void configure(int32_t sampleRate);
    // Forgets the past: as if the input so far had been silence.
    void reset();
    // The detection threshold, in multiples of the running level of the
    // prediction error; clamped to kMinThreshold..kMaxThreshold.
    void setThreshold(double threshold);
    double threshold() const { return threshold_; }

    // Samples from an input sample to its output sample.
    uint32_t delay() const { return delay_; }
    static uint32_t delayFor(int32_t sampleRate);

    // One sample in, the sample delay() earlier out.
    double process(double x);
    // The same for each of a block's samples, in place.
    void process(double* x, uint32_t length);

    // The clicks repaired since configure() or reset(), and the last few of
    // them as first and last sample, counted from the first input sample.
    struct Gap {
        uint64_t first;
        uint64_t last;
    };
    static constexpr uint32_t kGapLog = 64;
    uint64_t repaired() const { return repaired_; }
    Gap gap(uint32_t back) const { return gaps_[(repaired_ - 1 - back) % kGapLog]; }

    // For measuring the repair on its own, until the next configure(): the
    // clicks are taken as given (in order, apart, counted from the first
    // input sample; a longer one than the longest gap cut short) instead of
    // being found, and each is repaired as a found one is. The list must
    // outlive the processing.
    void takeClicksAsGiven(const Gap* clicks, uint32_t count);

  private:
    // The history is held twice over, so that the samples just before and
    // just after any sample lie in one run: window(t)[-k] is sample t - k and
    // window(t)[k] sample t + k, for k up to kHistory - 1.
    double at(uint64_t t) const { return history_[t & (kHistory - 1)]; }
    const double* window(uint64_t t) const { return &history_[(t & (kHistory - 1)) + kHistory]; }
    const double* ahead(uint64_t t) const { return &history_[t & (kHistory - 1)]; }
    void set(uint64_t t, double x) {
        history_[t & (kHistory - 1)] = x;
        history_[(t & (kHistory - 1)) + kHistory] = x;
    }
    double forwardError(uint64_t t);
    double backwardError(uint64_t t);
    void feed(uint64_t end);
    void scan();
    void updateModel();
    // The forward (or backward) prediction errors of the samples from first
    // on under the model c of order p.
    void predict(const double* c, uint32_t p, uint64_t first, uint32_t count, double* errors,
                 bool backward) const;
    // Fits a model of the given order to the stretches on either side of a
    // gap, the gap left out; false if they are silent.
    bool fitAround(uint64_t first, uint64_t last, uint32_t order, double* coefficients);
    void resolve();
    void repairGiven();
    // Fills a click under the model fitted around it (repair_), the raw
    // samples kept in raw_; errorMedian is that model's median error around.
    bool repair(uint64_t first, uint64_t last, double errorMedian);
    void logGap(uint64_t first, uint64_t last);
    // The median magnitude of the errors of the model c of order p on
    // either side of a gap (forward before it, backward after it); the
    // magnitudes stay in magnitudes_.
    double errorsAround(uint64_t first, uint64_t last, const double* c, uint32_t p);
    // The peaks of those errors: after the gap the second highest burst;
    // before it the highest, unless that stands out as a missed click.
    void peaksAround(double median, uint32_t p, double& beforePeak, double& afterPeak);
    // The filter a gap is filled under: the model's error filter c of order
    // p followed by a long-term predictor's; its length.
    uint32_t repairFilter(uint64_t first, uint64_t last, const double* c, uint32_t p);
    void pitchTaps(uint32_t period, uint32_t n, double* taps) const;
    // Fills the gap with the samples that make the errors of that filter
    // smallest over it and the filter's length after it, weighed against
    // the raw samples (raw_) as a click added to the signal: excitation is
    // the variance of the errors outside a click.
    bool interpolate(uint64_t first, uint64_t last, uint32_t length, double excitation);
    // The sum of the repair's filter times y over n, its run of zeros
    // (holeFirst_ to holeEnd_) left out.
    double filterDot(const double* y, uint32_t n) const;
    bool solveToeplitz(uint32_t m);
    // Whether a run of errors too long for a click opens with one; if so,
    // last becomes its end.
    bool clickOpensRun(uint64_t first, uint64_t& last);
    // Whether what the repair over first..last took out (the raw samples in
    // raw_) is a decaying resonance: d = a1 d[-1] + a2 d[-2], its removal
    // left in ringing_.
    bool resonance(uint64_t first, uint64_t last, double& a1, double& a2, double& unfitted);
    // Where that ringing ends, if it rings on past the gap; else last.
    uint64_t ringsOn(uint64_t first, uint64_t last, double errorMedian, double a1, double a2);
    // Whether the ringing could be taken out of the raw samples instead,
    // leaving what lies under it; if so, it is. Where the removal is a
    // resonance (rings), its poles a1, a2 start the search; else a ringing
    // is guessed at from the guess starts below.
    bool subtractRinging(uint64_t first, uint64_t last, double errorMedian, bool rings, double a1,
                         double a2);
    // What the repair model's errors keep over length + order samples once
    // the oscillation r^k (cos kw, sin kw) from first, times the best pair
    // of weights (into weights), is taken out of them; cw = cos w.
    double leftAfterRinging(double r, double cw, uint32_t length, double* weights) const;
    // A long event that is no click: the error level rises to its own.
    void takeOnset();
    // Whether value stands above ratio times the signal's level over the
    // level window from first.
    bool aboveLevel(uint64_t first, double ratio, double value) const;

    // Sizes for the rate.
    uint32_t order_ = 16;
    uint32_t repairOrder_ = 16;
    uint32_t maxGap_ = 48;
    double modelSpan_ = 100.0;  // the exponential window's time constant, in samples
    double keep_ = 0.99;
    uint32_t modelInterval_ = 16;
    uint32_t levelWindow_ = 64;
    uint32_t oneMs_ = 8;
    uint32_t lookAhead_ = 112;
    uint32_t delay_ = 160;
    double levelWeight_ = 0.01;
    double threshold_ = kDefaultThreshold;

    // State.
    double history_[2 * kHistory] = {};
    double correlation_[kMaxOrder + 1] = {};
    uint64_t fed_ = 0;                         // the samples before this one are in correlation_
    double coefficients_[kMaxOrder + 1] = {};  // 1, -a1, ..., -ap
    double errorLevel_ = 1.0;                  // mean square prediction error
    uint64_t count_ = 0;                       // samples in
    uint64_t cursor_ = 0;                      // next sample to examine
    uint64_t nextModel_ = 0;                   // where the model is fitted again
    uint64_t eventStart_ = 0;
    bool eventOpen_ = false;
    uint64_t repaired_ = 0;
    Gap gaps_[kGapLog] = {};
    bool givenMode_ = false;
    const Gap* given_ = nullptr;
    uint32_t givenCount_ = 0;
    uint32_t givenNext_ = 0;

    uint32_t minPeriod_ = 20;  // the long-term predictor's periods, in samples
    uint32_t maxPeriod_ = 120;
    // The interpolation's work space: the short-term errors around a gap
    // and which of them are known, the repair's filter, the normal
    // equations (Toeplitz: a row) and their solution.
    double residual_[2 * kMaxWindow + kMaxGap] = {};
    double known_[2 * kMaxWindow + kMaxGap] = {};
    double longFilter_[kMaxWindow + 1] = {};
    uint32_t holeFirst_ = 0, holeEnd_ = 0;
    double toeplitz_[kMaxGap] = {};
    double filterCorrelation_[kMaxGap] = {};  // the normal equations before solving
    double knownPart_[kMaxGap] = {};
    double gapless_[2 * kMaxWindow + kMaxGap] = {};  // the samples around a gap, its own as 0
    double energyBefore_[2 * kMaxWindow + kMaxGap + 1] = {};  // running sums of squared errors
    double lagProducts_[kMaxWindow] = {};  // the errors' products a period apart, summed
    double rhs_[kMaxGap] = {};
    double solution_[kMaxGap] = {};
    double reflection_[kMaxGap] = {};
    double work_[kMaxGap] = {};
    double raw_[kMaxGap] = {};
    double filled_[kMaxGap] = {};  // a first repair, kept while a longer one is tried
    // The repair's removal, then its ringing carried on, in magnitudes.
    double ringing_[2 * kMaxGap] = {};
    // The repair model's errors of the raw samples under a ringing (the
    // gap and twice as long again), and their energy.
    double ringErrors_[3 * kMaxGap + kMaxOrder] = {};
    double ringErrorEnergy_ = 0.0;
    double magnitudes_[kHistory / 2] = {};
    double selectSpare_[kHistory / 2] = {};  // the other half of a median's buffers
    double repair_[kMaxOrder + 1] = {};
    double taper_[kMaxWindow] = {};
    double tapered_[kMaxWindow] = {};
    // The samples are examined in blocks of this many.
    static constexpr uint32_t kBlock = 32;
    double errors_[kBlock] = {};
    double keepLevel_[kBlock + 1] = {};  // what the error level keeps over n samples
    double keepPeak_[kBlock + 1] = {};   // and the recent peak
    double keepFeed_[kBlock + 1] = {};   // and the autocorrelation
    double recentPeak_ = 0.0;            // the largest squared error of the last 20 ms or so
    // Where the search for a ringing that fits no resonance starts: decays
    // to a twentieth over 0.5, 1 and 2 ms, and frequencies across the band.
    static constexpr uint32_t kGuessWidths = 3, kGuessFrequencies = 8;
    double guessDecays_[kGuessWidths] = {};
    double guessCosines_[kGuessFrequencies] = {};
};
