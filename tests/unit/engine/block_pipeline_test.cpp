#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>

#include <gtest/gtest.h>

#include "dsp/cpu.h"
#include "engine/pass_through_engine.h"
#include "support/engine_rig.h"

namespace {

std::vector<int16_t> noise(size_t n, unsigned seed, int amplitude = 20000) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> dist(-amplitude, amplitude);
    std::vector<int16_t> v(n);
    for (auto& x : v)
        x = static_cast<int16_t>(dist(rng));
    return v;
}

// Runs blocks through a pass-through engine, finishing every buffer the
// device can play, and returns the input and the played stream.
struct PassThroughRun {
    PassThroughRun(int32_t rate, uint32_t stereo, int blocks) : rig(rate, stereo) {
        const uint32_t length = rig.engine->blockLength;
        for (int b = 0; b < blocks; ++b) {
            auto block = noise(length, 100 + b);
            input.insert(input.end(), block.begin(), block.end());
            rig.capture(block);
            while (rig.finish()) {
            }
        }
    }
    EngineRig<engine::PassThroughEngine> rig;
    std::vector<int16_t> input;
};

TEST(BlockPipeline, PassThroughDelaysMonoByTwoHops) {
    for (int32_t rate : {11025, 44100}) {
        PassThroughRun run(rate, 0, 20);
        const auto& out = run.rig.out.played;
        ASSERT_GT(out.size(), 10000u);
        int worst = 0;
        // Output p comes from input p - 512. The first 768 input samples lack
        // the frames that would have started before the stream did.
        for (size_t n = 512 + 768; n < out.size(); ++n)
            worst = std::max(worst, std::abs(out[n] - run.input[n - 512]));
        for (size_t n = 0; n < 512; ++n)
            EXPECT_EQ(out[n], 0);
        // Each of the four overlapping frames truncates once.
        EXPECT_LE(worst, 4) << rate;
        EXPECT_EQ(run.rig.engine->readFrameStart, 0u);
        EXPECT_EQ(run.rig.engine->writeFrameStart, 0u);
    }
}

TEST(BlockPipeline, PassThroughStereoInterleavesTwoBuffersPerBlock) {
    PassThroughRun run(11025, 1, 16);
    const auto& out = run.rig.out.played;
    ASSERT_EQ(out.size() % 2, 0u);
    const size_t pairs = out.size() / 2;
    ASSERT_GT(pairs, 5000u);
    int worst = 0;
    for (size_t p = 512 + 768; p < pairs; ++p) {
        EXPECT_EQ(out[2 * p], out[2 * p + 1]);
        worst = std::max(worst, std::abs(out[2 * p] - run.input[p - 512]));
    }
    EXPECT_LE(worst, 4 * 16);  // divisor 32 over a weight of 16
    // Buffers are played in slot order, two per block.
    const auto& order = run.rig.out.order;
    for (size_t n = 0; n < order.size(); ++n)
        EXPECT_EQ(order[n], n % 10);
}

TEST(BlockPipeline, FramesPerBlockAndCursorsWrap) {
    for (int32_t rate : {11025, 44100}) {
        EngineRig<> rig(rate, 0);
        auto& e = *rig.engine;
        e.readSlot = 3;
        e.readNextSlot = 4;
        e.writeSlot = 6;
        e.writeNextSlot = 7;
        const size_t before = rig.host.yields;
        e.processBlock();
        EXPECT_EQ(rig.host.yields - before, rate == 11025 ? 8u : 16u);
        EXPECT_EQ(e.readSlot, 4u);
        EXPECT_EQ(e.writeSlot, 7u);
        EXPECT_EQ(e.readFrameStart, 0u);
        EXPECT_EQ(e.writeFrameStart, 0u);
    }
}

TEST(BlockPipeline, OverlapAddTruncatesAndClips) {
    EngineRig<> rig(11025, 0);
    auto& e = *rig.engine;
    e.writeSlot = 2;
    e.writeNextSlot = 3;
    e.writePos = 0;
    e.outputRing[2][2] = 32760;
    e.outputRing[2][3] = -32760;
    e.outputRing[2][4] = 32767;
    const double first[] = {3.9, -3.9, 100.0, -100.0, -100.0, 1e300, -1e300};
    e.overlapAdd(first, nullptr, 7, 2);
    EXPECT_EQ(e.outputRing[2][0], 1);
    EXPECT_EQ(e.outputRing[2][1], -1);
    EXPECT_EQ(e.outputRing[2][2], 32767);
    EXPECT_EQ(e.outputRing[2][3], -32767);  // never -32768
    EXPECT_EQ(e.outputRing[2][4], 32717);   // a clipped value stays in range as others add
    EXPECT_EQ(e.outputRing[2][5], 32767);   // out of the 32-bit range: clamped, not undefined
    EXPECT_EQ(e.outputRing[2][6], -32767);
    EXPECT_EQ(e.writePos, 7u);

    // Positions past the block fall into the next slot; stereo alternates.
    e.writePos = 2047;
    const double left[] = {64.0, 96.0}, right[] = {-64.0, -96.0};
    e.overlapAdd(left, right, 2, 32);
    EXPECT_EQ(e.outputRing[2][2047], 2);
    EXPECT_EQ(e.outputRing[3][0], -2);
    EXPECT_EQ(e.outputRing[3][1], 3);
    EXPECT_EQ(e.outputRing[3][2], -3);

    // A longer stereo run, which goes in pairs: each channel its own values.
    e.writeSlot = 5;
    e.writeNextSlot = 6;
    e.writePos = 0;
    e.outputRing[5][0] = 32760;
    e.outputRing[5][3] = -32760;
    e.outputRing[5][8] = 32767;
    const double l[] = {1e300, 63.9, -31.9, 2e6, -1e300, 320.0, -64.0};
    const double r[] = {-32.5, -1e9, 95.0, 0.0, 1e12, -1e300, 31.0};
    e.overlapAdd(l, r, 7, 32);
    const int16_t want[] = {32767, -1, 1, -32767, 0, 2, 32767, 0, -32767, 32767, 10, -32767, -2, 0};
    for (int i = 0; i < 14; ++i)
        EXPECT_EQ(e.outputRing[5][i], want[i]) << i;

    // And a longer mono run, which goes eight values at a time.
    e.writeSlot = 7;
    e.writeNextSlot = 8;
    e.writePos = 0;
    e.outputRing[7][0] = 32760;
    e.outputRing[7][5] = 32767;
    e.outputRing[7][9] = -32760;
    const double m[] = {3e9, -3.9, 7.9, -1e300, 1e300, -200.0, 65535.0, -65535.0, 0.5, -30.0};
    e.overlapAdd(m, nullptr, 10, 2);
    const int16_t mono[] = {32767, -1, 3, -32767, 32767, 32667, 32767, -32767, 0, -32767};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(e.outputRing[7][i], mono[i]) << i;
}

}  // namespace

namespace {

// The whole filter on noise with a whistle, as the vector copies chosen for
// this processor run it and as the baseline copies do: the same samples.
TEST(BlockPipeline, BaselineAndVectorCopiesPlayTheSameSamples) {
    auto play = [](bool baseline, uint32_t stereo) {
        dsp::useBaselineOnly(baseline);
        EngineRig<> rig(11025, stereo);
        rig.engine->noiseFloorFactor = 0.7;
        for (int b = 0; b < 24; ++b) {
            auto block = noise(rig.engine->blockLength, 300 + b, 6000);
            for (size_t i = 0; i < block.size(); ++i)
                block[i] = static_cast<int16_t>(block[i] + 8000 * std::sin(2.85 * i));
            rig.capture(block);
            while (rig.finish()) {
            }
        }
        dsp::useBaselineOnly(false);
        return rig.out.played;
    };
    for (uint32_t stereo : {0u, 1u}) {
        const auto vector = play(false, stereo);
        EXPECT_GT(*std::max_element(vector.begin(), vector.end()), 1000);
        EXPECT_EQ(vector, play(true, stereo)) << "stereo " << stereo;
    }
}

}  // namespace
