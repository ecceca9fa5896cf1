// Radix-2 transform on separate real and imaginary arrays, with the analysis
// window and the bin frequencies the audio path needs around it.
#pragma once

#include <cstdint>
#include <vector>

class CFft {
  public:
    static constexpr uint32_t kMaxStages = 16;  // sizes up to 65536

    // 0 on success, kNotPowerOfTwo or kTooBig. The caller shows the refusal
    // (refusalText, with the caption kRefusalCaption) and ends the program.
    int32_t initialize(uint32_t n);
    static constexpr int32_t kNotPowerOfTwo = -1;
    static constexpr int32_t kTooBig = -2;
    static constexpr const char* kRefusalCaption = "CFft::initialize";
    static const char* refusalText(int32_t code);

    // n must be the initialised size. imIn may be null (a real input). The
    // output arrays must not overlap the input arrays.
    void transform(uint32_t n, uint32_t inverse, const double* reIn, const double* imIn,
                   double* reOut, double* imOut) const;

    // kLanes transforms side by side, one per lane: value i of transform l
    // lies at index i * kLanes + l of each array. Every lane goes through the
    // operations of transform() in the same order, so it gives the same
    // values (only the sign of a zero may differ where a real input's known
    // zero imaginary part is left out). The arrays must not overlap.
    static constexpr uint32_t kLanes = 4;
    void transformLanes(uint32_t n, uint32_t inverse, const double* reIn, const double* imIn,
                        double* reOut, double* imOut) const;
    // The same when only the real parts of the outputs are wanted, as for
    // the inverse of a real signal's spectrum: the last stage leaves the
    // imaginary parts out. work (n * kLanes values, overlapping none of the
    // other arrays) holds them in between; afterwards its contents mean
    // nothing.
    void transformLanesRealOut(uint32_t n, uint32_t inverse, const double* reIn, const double* imIn,
                               double* reOut, double* work) const;

    // Moves kLanes arrays of n values, stored one after the other (array l
    // at l * n), into the lane layout and back.
    // With a window, every array is multiplied by it on the way, as
    // applyWindow would. With a stride, toLanes reads array l at l * stride
    // instead (overlapping arrays, such as frames in place in a signal).
    // With a count (a multiple of 4), fromLanes moves only the first count
    // values of each array.
    static void toLanes(const double* arrays, double* lanes, uint32_t n,
                        const double* window = nullptr, uint32_t stride = 0);
    static void fromLanes(const double* lanes, double* arrays, uint32_t n, uint32_t count = 0);

    // The periodic Hann window of n points.
    static void makeWindow(double* table, uint32_t n);
    static void applyWindow(const double* table, double* buffer, uint32_t n);
    // Fraction of the sampling rate at which bin i of an n-point transform lies.
    static double binFraction(uint32_t n, uint32_t i);

    uint32_t nLog2Size = 0;
    uint32_t nArrayBytes = 0;
    double dSize = 0.0;
    // Per stage s (blocks of 2^(s+1) points, delta = 2 pi / 2^(s+1)).
    double daForwardSin2[kMaxStages] = {};    // sin(-2 delta)
    double daForwardSin1[kMaxStages] = {};    // sin(-delta)
    double daForwardCos2[kMaxStages] = {};    // cos(-2 delta)
    double daForwardCos1[kMaxStages] = {};    // cos(-delta)
    double daForwardTwoCos[kMaxStages] = {};  // 2 cos(-delta)
    double daInverseSin2[kMaxStages] = {};    // sin(2 delta)
    double daInverseSin1[kMaxStages] = {};    // sin(delta)
    double daInverseCos2[kMaxStages] = {};    // cos(2 delta)
    double daInverseCos1[kMaxStages] = {};    // cos(delta)
    double daInverseTwoCos[kMaxStages] = {};  // 2 cos(delta)

  private:
    // The twiddle sequence of a stage is the same for every block of that
    // stage, so the recurrence runs once per stage at initialisation and the
    // butterflies read the stored values: the same bits, in loops the compiler
    // can vectorise. Stage s occupies entries [2^s - 1, 2^(s+1) - 1).
    std::vector<double> forwardRe_, forwardIm_, inverseRe_, inverseIm_;
    std::vector<uint32_t> bitReversed_;
    // For the side-by-side transforms, which take the stages in pairs: per
    // pair and group, the factors of the first stage and the two of the
    // second, as (re, im) one after the other, so that a group reads them
    // from one place.
    std::vector<double> forwardPairs_, inversePairs_;
    void pairTwiddles(const std::vector<double>& re, const std::vector<double>& im,
                      std::vector<double>& pairs) const;

    void runLanes(uint32_t n, uint32_t inverse, const double* reIn, const double* imIn,
                  double* reOut, double* imOut, bool withIm) const;
};
