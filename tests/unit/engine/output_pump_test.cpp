#include <gtest/gtest.h>

#include "support/engine_rig.h"

namespace {

// Records which input slot each processed block came from.
class CountingEngine : public CAudioEngine {
  public:
    void processBlock() override {
        slots.push_back(readSlot);
        CAudioEngine::processBlock();
    }
    std::vector<uint32_t> slots;
};

TEST(OutputPump, StartupTimelineInMono) {
    EngineRig<CountingEngine> rig(11025, 0);
    auto& e = *rig.engine;
    EXPECT_EQ(e.blockLength, 2048u);
    EXPECT_EQ(rig.in.queued(), 10u);
    for (auto* h : rig.in.queue())
        EXPECT_EQ(h->dwBufferLength, 4096u);
    EXPECT_TRUE(rig.in.isStarted());
    EXPECT_TRUE(rig.out.isOpen());
    EXPECT_EQ(rig.out.format().nChannels, 1);

    // The first two blocks only pause the still empty device.
    rig.captureSilence();
    rig.captureSilence();
    EXPECT_TRUE(e.slots.empty());
    EXPECT_EQ(rig.out.pauses, 2);
    EXPECT_EQ(e.outputPaused, 1u);
    EXPECT_EQ(e.pendingBlocks, 2u);

    // From the third on, each block queues one buffer; the fifth restarts.
    for (int block = 3; block <= 7; ++block) {
        rig.captureSilence();
        EXPECT_EQ(e.outputQueued, block - 2);
        EXPECT_EQ(rig.out.restarts, block == 7 ? 1 : 0) << block;
    }
    EXPECT_FALSE(rig.out.isPaused());
    EXPECT_EQ(e.outputPaused, 0u);
    EXPECT_EQ(e.pendingBlocks, 2u);
    EXPECT_EQ(rig.in.queued(), 10u - 7u + 5u);  // five buffers went back

    // An eighth block waits: the queue is full.
    rig.captureSilence();
    EXPECT_EQ(e.slots.size(), 5u);
    EXPECT_EQ(e.pendingBlocks, 3u);

    // Steady state: every finished buffer lets one waiting block through.
    for (int n = 0; n < 40; ++n) {
        ASSERT_TRUE(rig.finish());
        EXPECT_EQ(e.outputQueued, 5);
        rig.captureSilence();
    }
    EXPECT_EQ(rig.out.maxQueued(), 5u);
    EXPECT_EQ(rig.out.resets, 0);
    for (size_t n = 0; n < e.slots.size(); ++n)
        EXPECT_EQ(e.slots[n], n % 10) << n;
    EXPECT_EQ(rig.out.order.size(), 40u);
    for (size_t n = 0; n < rig.out.order.size(); ++n)
        EXPECT_EQ(rig.out.order[n], n % 10);
    EXPECT_TRUE(rig.host.boxes.empty());
}

TEST(OutputPump, StartupTimelineInStereo) {
    EngineRig<CountingEngine> rig(44100, 1);
    auto& e = *rig.engine;
    EXPECT_EQ(e.blockLength, 4096u);
    for (auto* h : rig.in.queue())
        EXPECT_EQ(h->dwBufferLength, 8192u);
    EXPECT_EQ(rig.out.format().nChannels, 2);
    EXPECT_EQ(rig.out.format().nBlockAlign, 4);
    EXPECT_EQ(rig.out.format().nAvgBytesPerSec, 44100u * 4);

    for (int block = 1; block <= 5; ++block) {
        rig.captureSilence();
        const int expected = block < 3 ? 0 : 2 * (block - 2);
        EXPECT_EQ(e.outputQueued, expected) << block;
        EXPECT_EQ(rig.out.restarts, block == 5 ? 1 : 0) << block;
    }
    for (int n = 0; n < 30; ++n) {
        ASSERT_TRUE(rig.finish());
        rig.captureSilence();
    }
    EXPECT_EQ(rig.out.maxQueued(), 6u);
    EXPECT_EQ(rig.out.resets, 0);
    for (size_t n = 0; n < e.slots.size(); ++n)
        EXPECT_EQ(e.slots[n], n % 10);
    // Each block fills two consecutive playback buffers of 2048 pairs.
    for (size_t n = 0; n < rig.out.order.size(); ++n)
        EXPECT_EQ(rig.out.order[n], n % 10);
    EXPECT_EQ(rig.out.played.size(), rig.out.order.size() * 4096);
}

TEST(OutputPump, FullQueueOnlyRegulatesAndFewBlocksProcessNothing) {
    EngineRig<CountingEngine> rig(11025, 0);
    auto& e = *rig.engine;
    e.pendingBlocks = 7;
    e.outputQueued = 5;
    e.pumpOutput();
    EXPECT_TRUE(e.slots.empty());
    EXPECT_EQ(rig.out.restarts, 1);  // paused flag was set: five queued restarts

    e.outputQueued = 0;
    e.pendingBlocks = 2;
    e.pumpOutput();
    EXPECT_TRUE(e.slots.empty());
    EXPECT_EQ(e.outputPaused, 1u);
}

TEST(OutputPump, FlushesAtNineAndPausesEveryTimeBelowTwo) {
    EngineRig<> rig(11025, 0);
    auto& e = *rig.engine;
    e.outputQueued = 9;
    e.regulateOutput();
    EXPECT_EQ(rig.out.resets, 1);
    e.outputQueued = 1;
    e.regulateOutput();
    e.regulateOutput();
    EXPECT_EQ(rig.out.pauses, 2);
}

TEST(OutputPump, ReturnedSlotIsClearedBeforeItIsWrittenAgain) {
    EngineRig<> rig(11025, 0);
    std::vector<int16_t> loud(2048);
    for (size_t i = 0; i < loud.size(); ++i)
        loud[i] = (i * 7919) % 20000 - 10000;
    for (int i = 0; i < 8; ++i)
        rig.capture(loud);
    rig.engine->outputRing[0][5] = 1234;  // slot 0 is with the device
    ASSERT_TRUE(rig.out.finishNext());
    rig.host.step();  // only the completion of slot 0
    for (uint32_t n = 0; n < 2048; ++n)
        ASSERT_EQ(rig.engine->outputRing[0][n], 0) << n;
}

TEST(OutputPump, PlaybackFailuresLeaveTheSlotWhereItWas) {
    EngineRig<> rig(11025, 0);
    rig.out.faults.fail(sim::WaveCall::AddBuffer, platform::MMSYSERR_NOMEM, 0, 1);
    for (int i = 0; i < 3; ++i)
        rig.captureSilence();
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].caption, "waveOutWrite");
    EXPECT_EQ(rig.host.boxes[0].text, platform::standardWaveErrorText(platform::MMSYSERR_NOMEM));
    EXPECT_EQ(rig.host.boxes[0].style, platform::MB_OK | platform::MB_ICONEXCLAMATION);
    EXPECT_EQ(rig.engine->outputSlot, 0u);
    EXPECT_EQ(rig.engine->outputQueued, 0);
    rig.out.faults.fail(sim::WaveCall::PrepareHeader, platform::MMSYSERR_ERROR, 0, 1);
    rig.captureSilence();
    EXPECT_EQ(rig.host.boxes.back().caption, "waveOutPrepareHeader");
    EXPECT_EQ(rig.engine->outputSlot, 0u);
    rig.captureSilence();
    EXPECT_EQ(rig.engine->outputSlot, 1u);
    EXPECT_EQ(rig.host.quitPosts, 0);
}

}  // namespace

namespace {

// Records the block number stamped into the slot each processed block reads,
// and the one its last frames reach into.
class StampEngine : public CAudioEngine {
  public:
    void processBlock() override {
        blocks.push_back(static_cast<int>(inputRing[readSlot][0]));
        next.push_back(static_cast<int>(inputRing[readNextSlot][0]));
        CAudioEngine::processBlock();
    }
    std::vector<int> blocks, next;
};

TEST(OutputPump, CaptureBufferOutOfCirculationIsNeverPlayedAgain) {
    EngineRig<StampEngine> rig(11025, 0);
    // The device refuses buffer 3 when it is given back after its block.
    rig.in.faults.fail(sim::WaveCall::AddBuffer, platform::MMSYSERR_NOMEM, 13, 1);
    int stamp = 0;
    auto captureNext = [&] { return rig.capture(std::vector<int16_t>(2048, int16_t(++stamp))); };
    for (int round = 0; round < 40; ++round) {
        ASSERT_TRUE(captureNext()) << round;
        while (rig.finish()) {
        }
    }
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].caption, "waveInAddBuffer");
    EXPECT_EQ(rig.engine->retiredCaptureSlots, 1u << 3);
    EXPECT_EQ(rig.in.queued(), 9u - rig.engine->pendingBlocks);
    // Every captured block once, in order, its last frames reaching into the
    // block captured after it; and the pump's count stays true.
    auto& e = *rig.engine;
    ASSERT_EQ(e.blocks.size(), 38u);
    for (size_t n = 0; n < e.blocks.size(); ++n) {
        EXPECT_EQ(e.blocks[n], int(n) + 1) << n;
        EXPECT_EQ(e.next[n], int(n) + 2) << n;
    }
    EXPECT_EQ(e.pendingBlocks, 2u);
    EXPECT_EQ(rig.host.quitPosts, 0);
}

}  // namespace
