// Speed of the DSP building blocks: a 1024-point transform each way, alone and
// for kLanes frames side by side, and the time-domain filters per sample over
// a block.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "dsp/fft.h"
#include "dsp/fir_filter.h"
#include "dsp/linear_combiner.h"
#include "dsp/lms_filter.h"

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
    std::vector<double> outRe(values), outIm(values);
    for (auto _ : state) {
        const double* imIn = inverse ? im.data() : nullptr;
        if (realOut)
            fft.transformLanesRealOut(n, inverse, re.data(), imIn, outRe.data(), outIm.data());
        else
            fft.transformLanes(n, inverse, re.data(), imIn, outRe.data(), outIm.data());
        benchmark::DoNotOptimize(outRe.data());
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

}  // namespace
