#include <gtest/gtest.h>

#include <cstdlib>

#include "support/engine_rig.h"
#include "support/host_fixture.h"

namespace {

using platform::kMmsyserrAllocated;
using platform::kMmsyserrBadDeviceId;
using platform::kMmsyserrError;
using sim::WaveCall;

class CountingEngine : public CAudioEngine {
  public:
    void processBlock() override {
        ++processed;
        CAudioEngine::processBlock();
    }
    int processed = 0;
};

TEST(EngineFailures, NoCaptureDeviceEndsWithoutOpeningPlayback) {
    EngineRig<> rig(11025, 0, false);
    rig.in.faults.fail(WaveCall::Open, kMmsyserrBadDeviceId);
    rig.window->create();
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].caption, "waveInOpen");
    EXPECT_EQ(rig.host.boxes[0].text, platform::standardWaveErrorText(kMmsyserrBadDeviceId));
    EXPECT_EQ(rig.host.boxes[0].owner, nullptr);
    EXPECT_EQ(rig.host.boxes[0].style, platform::kMbOk | platform::kMbIconExclamation);
    EXPECT_EQ(rig.out.faults.calls(WaveCall::Open), 0);
    EXPECT_EQ(rig.host.quitPosts, 1);
    EXPECT_FALSE(rig.host.step());
    EXPECT_EQ(rig.host.exitCode(), 0);
    // The rest of start-up still ran.
    EXPECT_EQ(rig.engine->minimumAmplitude[3], 1200.0);
    EXPECT_EQ(rig.engine->synthesisSlot, 1u);
}

TEST(EngineFailures, NoPlaybackDeviceEndsTheProgram) {
    EngineRig<> rig(8000, 0, false);
    rig.out.faults.fail(WaveCall::Open, kMmsyserrAllocated);
    rig.window->create();
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].caption, "waveOutOpen");
    EXPECT_EQ(rig.host.quitPosts, 1);
    EXPECT_EQ(rig.engine->outputOpen, 0u);
}

TEST(EngineFailures, QueueingAtStartEndsTheProgram) {
    for (WaveCall call : {WaveCall::PrepareHeader, WaveCall::AddBuffer}) {
        EngineRig<> rig(11025, 0, false);
        rig.in.faults.fail(call, kMmsyserrError, 3, 1);
        rig.window->create();
        ASSERT_EQ(rig.host.boxes.size(), 1u);
        EXPECT_EQ(rig.host.boxes[0].caption,
                  call == WaveCall::PrepareHeader ? "waveInPrepareHeader" : "waveInAddBuffer");
        EXPECT_EQ(rig.in.queued(), 3u);  // those before it stay with the device
        EXPECT_FALSE(rig.in.isStarted());
        EXPECT_EQ(rig.host.quitPosts, 1);
        EXPECT_FALSE(rig.out.isOpen());
    }
}

TEST(EngineFailures, FailingStartKeepsRunningWithoutAudio) {
    EngineRig<> rig(11025, 0, false);
    rig.in.faults.fail(WaveCall::Start, kMmsyserrError);
    rig.window->create();
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].caption, "waveInStart");
    EXPECT_EQ(rig.host.quitPosts, 0);
    EXPECT_TRUE(rig.out.isOpen());
    EXPECT_FALSE(rig.captureSilence());
}

TEST(EngineFailures, UnprepareFailureOfACapturedBlockQuits) {
    EngineRig<CountingEngine> rig(11025, 0);
    rig.in.faults.fail(WaveCall::UnprepareHeader, kMmsyserrError, 0, 1);
    for (int i = 0; i < 3; ++i)
        rig.in.fill(std::vector<int16_t>(2048, 5));
    rig.host.step();
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].caption, "waveInUnprepareHeader (MM_WIM_DATA)");
    EXPECT_EQ(rig.engine->pendingBlocks, 0u);
    rig.host.runUntilIdle();
    EXPECT_TRUE(rig.host.quitReached());
    EXPECT_EQ(rig.engine->processed, 0);
}

TEST(EngineFailures, PlaybackUnprepareFailureQuits) {
    EngineRig<> rig(11025, 0);
    for (int i = 0; i < 7; ++i)
        rig.captureSilence();
    rig.out.faults.fail(WaveCall::UnprepareHeader, kMmsyserrError, 0, 1);
    rig.out.finishNext();
    rig.host.runUntilIdle();
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].caption, "waveOutUnprepareHeader (MM_WOM_DONE)");
    EXPECT_TRUE(rig.host.quitReached());
    EXPECT_EQ(rig.engine->outputQueued, 5);
}

TEST(EngineFailures, ClosingWithBlocksInFlightProcessesNothingMore) {
    EngineRig<CountingEngine> rig(11025, 0);
    for (int i = 0; i < 8; ++i)
        rig.captureSilence();
    rig.in.fill(std::vector<int16_t>(2048, 9));  // arrives after the close began
    const int processed = rig.engine->processed;
    rig.window->destroy();
    EXPECT_FALSE(rig.in.isOpen());
    EXPECT_FALSE(rig.out.isOpen());
    EXPECT_EQ(rig.engine->closing, 1u);
    rig.host.runUntilIdle();
    EXPECT_TRUE(rig.host.quitReached());
    EXPECT_EQ(rig.engine->processed, processed);
    EXPECT_TRUE(rig.host.boxes.empty());
}

TEST(EngineFailures, CloseReportsEachFailedStepAndGoesOn) {
    EngineRig<> rig(11025, 0);
    for (int i = 0; i < 7; ++i)
        rig.captureSilence();
    rig.in.faults.fail(WaveCall::Stop, kMmsyserrError);
    rig.out.faults.fail(WaveCall::Reset, kMmsyserrError);
    rig.window->destroy();
    ASSERT_EQ(rig.host.boxes.size(), 3u);
    EXPECT_EQ(rig.host.boxes[0].caption, "waveInStop");
    EXPECT_EQ(rig.host.boxes[1].caption, "waveOutReset");
    // The reset failed, so buffers were still queued when closing.
    EXPECT_EQ(rig.host.boxes[2].caption, "waveOutClose");
    EXPECT_EQ(rig.engine->inputOpen, 0u);
    EXPECT_EQ(rig.engine->outputOpen, 0u);
}

TEST(EngineStartup, RateSetsTheBlockLengthAndBinFrequencies) {
    for (auto [rate, length] :
         {std::pair{8000, 2048u}, {11025, 2048u}, {22050, 4096u}, {44100, 4096u}, {0, 2048u}}) {
        EngineRig<> rig(rate, 0);
        EXPECT_EQ(rig.engine->blockLength, length) << rate;
        const int32_t actual = rate == 0 ? 11025 : rate;
        EXPECT_EQ(rig.engine->sampleRate, actual);
        EXPECT_EQ(rig.engine->binFrequency[100], 100.0 / 1024 * actual);
        EXPECT_EQ(rig.in.format().nAvgBytesPerSec, 2u * actual);
    }
}

}  // namespace

namespace {

void* failingSecondAllocation(size_t count, size_t size) {
    static int calls = 0;
    return ++calls == 2 ? nullptr : std::calloc(count, size);
}

class PrefilterAllocation : public HostTest {};

TEST_F(PrefilterAllocation, EachFailedFilterShowsTheBox) {
    const CFirFilter::Allocator saved = CFirFilter::allocator;
    CFirFilter::allocator = failingSecondAllocation;
    engine::InputFilters filters;
    engine::designInputFilters(filters, 11025);
    CFirFilter::allocator = saved;
    const auto& box = onlyBox();
    EXPECT_EQ(box.text, "Memory Allocation Error! (pdaCoefficents)");
    EXPECT_EQ(box.caption, "CFirFilter::CFirFilter");
    EXPECT_EQ(box.style, platform::kMbOk);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(host.quitPosts, 0);
}

}  // namespace
