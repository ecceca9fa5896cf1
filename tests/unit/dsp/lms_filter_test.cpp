#include "dsp/lms_filter.h"

#include <cmath>
#include <functional>
#include <numbers>
#include <random>

#include <gtest/gtest.h>

namespace {

bool allWeightsZero(const CLmsFilter& f) {
    for (double w : f.daLmsWeights)
        if (w != 0.0) return false;
    return true;
}

TEST(LmsFilter, StartsSilentAndAdaptsFromTheSecondSample) {
    CLmsFilter f;
    EXPECT_EQ(f.filter(20000.0), 0.0);
    EXPECT_TRUE(allWeightsZero(f));  // the history was empty
    EXPECT_EQ(f.nLmsPosition, 1u);
    EXPECT_EQ(f.filter(-15000.0), 0.0);
    EXPECT_FALSE(allWeightsZero(f));
    // Only the weight that met the stored sample moved: e * h with e = x * step.
    EXPECT_DOUBLE_EQ(f.daLmsWeights[70], -15000.0 * 1e-11 * 20000.0);
}

TEST(LmsFilter, PositionWraps) {
    CLmsFilter f;
    for (int i = 0; i < 71; ++i)
        f.filter(i);
    EXPECT_EQ(f.nLmsPosition, 0u);
    EXPECT_EQ(f.daLmsHistory[70], 70.0);
}

double meanAbsError(CLmsFilter& f, const std::function<double(int)>& x, int from, int count) {
    double sum = 0.0;
    for (int n = from; n < from + count; ++n) {
        const double v = x(n);
        sum += std::fabs(v - f.filter(v));
    }
    return sum / count;
}

TEST(LmsFilter, SteadySineIsReproducedEverMoreClosely) {
    CLmsFilter f;
    auto sine = [](int n) {
        return 16000.0 * std::sin(2.0 * std::numbers::pi * 700.0 * n / 11025.0);
    };
    const double early = meanAbsError(f, sine, 0, 2000);
    meanAbsError(f, sine, 2000, 20000);
    const double late = meanAbsError(f, sine, 22000, 2000);
    EXPECT_LT(late, early * 0.1);
    EXPECT_LT(late, 16000.0 * 0.02);
}

TEST(LmsFilter, WhiteNoiseIsReduced) {
    CLmsFilter f;
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0.0, 8000.0);
    double in = 0.0, out = 0.0;
    for (int n = 0; n < 50000; ++n) {
        const double x = noise(rng);
        const double y = f.filter(x);
        if (n >= 10000) {
            in += x * x;
            out += y * y;
        }
    }
    EXPECT_LT(out, in * 0.25);
}

}  // namespace
