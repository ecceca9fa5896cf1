// Windowed-sinc band-pass FIR filter with a circular delay line, run one
// sample at a time.
#pragma once

#include <cstddef>
#include <cstdint>

class CFirFilter {
  public:
    CFirFilter() = default;
    // Sets the filter up for taps and a rate; status() tells how it went.
    CFirFilter(uint32_t taps, uint32_t sampleRate);
    ~CFirFilter();
    CFirFilter(const CFirFilter&) = delete;
    CFirFilter& operator=(const CFirFilter&) = delete;

    // Sets up the arrays and computes the windowed band-pass coefficients.
    // 0 on success; -10 or -20 when an array could not be allocated, in which
    // case no coefficient is computed and the filter outputs silence (the
    // caller tells the user).
    int32_t designBandPass(uint32_t taps, uint32_t sampleRate, double lowHz, double highHz);
    void applyHannWindow();
    double filter(double x);

    int32_t status() const { return nStatus; }

    // Zero-filled allocation of count doubles; replaceable so that a failed
    // allocation can be exercised.
    using Allocator = void* (*)(size_t count, size_t size);
    static Allocator allocator;

    uint32_t nDesignRate = 0;
    uint32_t nTaps = 0;
    uint32_t nPosition = 0;
    double* pdaDelayLine = nullptr;
    double* pdaCoefficents = nullptr;

  private:
    int32_t setUp(uint32_t taps, uint32_t sampleRate);
    void release();
    int32_t nStatus = 0;
};

// The three prefilter instances of the program: the voice prefilter is the sum
// of the low and high bands, the music prefilter is the music band alone.
struct Prefilters {
    CFirFilter voiceLow;   // 71 taps, 100-800 Hz
    CFirFilter voiceHigh;  // 31 taps, 1300-4400 Hz
    CFirFilter music;      // 101 taps, 80-4800 Hz

    double voice(double x) { return voiceLow.filter(x) + voiceHigh.filter(x); }
};

// Designs the three prefilters for a rate, in the program's start-up order.
// Returns how many could not allocate their arrays; the caller reports each
// with the text and caption below.
int designPrefilters(Prefilters& filters, uint32_t sampleRate);
inline constexpr const char* kFirAllocationText = "Memory Allocation Error! (pdaCoefficents)";
inline constexpr const char* kFirAllocationCaption = "CFirFilter::CFirFilter";
