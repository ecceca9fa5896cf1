#include "dsp/linear_combiner.h"

#include <random>

#include <gtest/gtest.h>

namespace {

TEST(LinearCombiner, FirstOutputIsTheNewestSampleWeight) {
    CLinearCombiner one;
    EXPECT_EQ(one.filter(1.0), 0.47516633421802257);
    CLinearCombiner c;
    EXPECT_DOUBLE_EQ(c.filter(1234.5), 0.47516633421802257 * 1234.5);
    // The probed weight W2[0][0] was tried and put back.
    EXPECT_EQ(c.daWeights[9], 0.43214600000004094);
    EXPECT_EQ(c.nProbeMatrix, 1u);
    EXPECT_EQ(c.nProbeRow, 0u);
    EXPECT_EQ(c.nProbeColumn, 0u);
}

TEST(LinearCombiner, ProbeSelectorReturnsToZeroAfter27Samples) {
    CLinearCombiner c;
    for (int i = 0; i < 26; ++i)
        c.filter(100.0 * i);
    EXPECT_EQ(c.nProbeMatrix + c.nProbeRow + c.nProbeColumn, 6u);  // at 2, 2, 2
    c.filter(5.0);
    EXPECT_EQ(c.nProbeMatrix, 0u);
    EXPECT_EQ(c.nProbeRow, 0u);
    EXPECT_EQ(c.nProbeColumn, 0u);
}

TEST(LinearCombiner, ConstantInputSettlesNearTheInput) {
    const double level = 10000.0;
    // With a full history the starting weights give about 1.0075 times the input.
    CLinearCombiner start;
    for (double& h : start.daHistory)
        h = level;
    start.evaluate();
    EXPECT_NEAR(start.dOutput / level, 1.0075, 0.0005);

    CLinearCombiner c;
    double last = 0.0;
    for (int i = 0; i < 3000; ++i)
        last = c.filter(level);
    EXPECT_NEAR(last, level, level * 0.002);
}

TEST(LinearCombiner, UnusedFirstMatrixWeightsStayOne) {
    CLinearCombiner c;
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> dist(-30000.0, 30000.0);
    for (int i = 0; i < 5000; ++i)
        c.filter(dist(rng));
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(c.daWeights[3 * row + 0], 1.0);
        EXPECT_EQ(c.daWeights[3 * row + 1], 1.0);
    }
    bool moved = false;
    for (int q = 9; q < 27; ++q)
        moved |= c.daWeights[q] != CLinearCombiner().daWeights[q];
    EXPECT_TRUE(moved);
}

}  // namespace
