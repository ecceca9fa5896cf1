// Speed of the DSP building blocks: a 1024-point transform each way, alone and
// for kLanes frames side by side; the time-domain filters per sample over a
// block; the expandor's powers for one frame.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "dsp/fft.h"
#include "dsp/fir_filter.h"
#include "dsp/linear_combiner.h"
#include "dsp/lms_filter.h"
#include "dsp/math_functions.h"
#include "dsp/power.h"

namespace {

constexpr uint32_t kBlock = 2048;

std::vector<double> noise(size_t n) {
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> dist(-20000.0, 20000.0);
    std::vector<double> v(n);
    for (auto& x : v)
        x = dist(rng);
    return v;
}

void fftTransform(benchmark::State& state) {
    const uint32_t n = 1024;
    const uint32_t inverse = static_cast<uint32_t>(state.range(0));
    CFft fft;
    fft.initialize(n);
    auto re = noise(n), im = noise(n);
    std::vector<double> outRe(n), outIm(n);
    for (auto _ : state) {
        fft.transform(n, inverse, re.data(), inverse ? im.data() : nullptr, outRe.data(),
                      outIm.data());
        benchmark::DoNotOptimize(outRe.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(fftTransform)->Arg(0)->Arg(1)->ArgName("inverse");

// One iteration transforms CFft::kLanes frames; the time per frame is the
// figure to compare with fftTransform.
void lanesLoop(benchmark::State& state, uint32_t inverse, bool realOut) {
    const uint32_t n = 1024, values = n * CFft::kLanes;
    CFft fft;
    fft.initialize(n);
    auto re = noise(values), im = noise(values);
    // The outputs as the engine lays them out: the imaginary array 2 KB off
    // a multiple of 4 KB from the real one, so that they use other cache sets.
    std::vector<double> out(2 * values + 1024 + 256);
    double* outRe = reinterpret_cast<double*>((reinterpret_cast<uintptr_t>(out.data()) + 4095) &
                                              ~uintptr_t{4095});
    double* outIm = outRe + values + 256;
    for (auto _ : state) {
        const double* imIn = inverse ? im.data() : nullptr;
        if (realOut)
            fft.transformLanesRealOut(n, inverse, re.data(), imIn, outRe, outIm);
        else
            fft.transformLanes(n, inverse, re.data(), imIn, outRe, outIm);
        benchmark::DoNotOptimize(outRe);
        benchmark::ClobberMemory();
    }
    state.counters["frames"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * CFft::kLanes, benchmark::Counter::kIsRate);
}

void fftTransformLanes(benchmark::State& state) {
    lanesLoop(state, static_cast<uint32_t>(state.range(0)), false);
}
BENCHMARK(fftTransformLanes)->Arg(0)->Arg(1)->ArgName("inverse");

// The inverse as the engine runs it: only the real parts are wanted.
void fftTransformLanesRealOut(benchmark::State& state) {
    lanesLoop(state, 1, true);
}
BENCHMARK(fftTransformLanesRealOut);

template <typename Filter>
void perSample(benchmark::State& state, Filter& filter) {
    auto input = noise(kBlock);
    for (auto _ : state) {
        double acc = 0.0;
        for (double x : input)
            acc += filter.filter(x);
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kBlock);
}

void firFilter(benchmark::State& state) {
    CFirFilter f;
    f.designBandPass(101, 11025, 80.0, 4800.0);
    perSample(state, f);
}
BENCHMARK(firFilter);

void lmsFilter(benchmark::State& state) {
    CLmsFilter f;
    perSample(state, f);
}
BENCHMARK(lmsFilter);

void linearCombiner(benchmark::State& state) {
    CLinearCombiner f;
    perSample(state, f);
}
BENCHMARK(linearCombiner);

// The expandor's powers for one frame's bins (magnitudes of a noisy frame):
// the C library's pow one by one, and powMany.
void expandorPowers(benchmark::State& state) {
    const bool many = state.range(0) != 0;
    std::mt19937 rng(2);
    std::uniform_real_distribution<double> logOf(std::log(650.0), std::log(1e6));
    std::vector<double> bases(509), powers(509);
    for (double& x : bases)
        x = std::exp(logOf(rng));
    for (auto _ : state) {
        if (many)
            dsp::powMany(bases.data(), powers.data(), 509, 1.2);
        else
            for (size_t k = 0; k < bases.size(); ++k)
                powers[k] = dsp::pow(bases[k], 1.2);
        benchmark::DoNotOptimize(powers.data());
        benchmark::ClobberMemory();
    }
    state.counters["values"] = benchmark::Counter(static_cast<double>(state.iterations()) * 509,
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(expandorPowers)->Arg(0)->Arg(1)->ArgName("many");

}  // namespace
