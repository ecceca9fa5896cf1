// The watchdog over devices that stop returning buffers without an error, on
// scripted devices and the watch's own clock.
#include <gtest/gtest.h>

#include "platform/wave_watch.h"
#include "support/engine_rig.h"
#include "support/host_fixture.h"

namespace {

using namespace platform;
using namespace std::chrono_literals;
using sim::WaveCall;

// A device that goes silent while the program runs is reported once, with
// the box of a buffer that came back failed, and the program ends; the
// resets and closes of the devices, which now fail too, show nothing.
TEST(WaveWatch, ASilentDeviceIsReportedOnceAndEndsTheProgram) {
    EngineRig<> rig(11025, 0, false);
    auto watch = std::make_shared<WaveWatch>(false);
    auto in = watchWaveIn(watch, rig.in);
    auto out = watchWaveOut(watch, rig.out);
    rig.engine->attach(in.get(), out.get(), &rig.level, rig.filters.get());
    rig.window->create();
    auto t = WaveWatch::Clock::now();
    for (int i = 0; i < 40; ++i) {  // four seconds of audio going round
        ASSERT_TRUE(rig.captureSilence());
        while (rig.finish()) {
        }
        watch->check(t += 100ms);
    }
    ASSERT_TRUE(rig.host.boxes.empty());
    for (int i = 0; i < 11; ++i)  // silent, looked at every quarter second
        watch->check(t += 250ms);
    EXPECT_EQ(rig.host.pending(), 0u);
    watch->check(t += 250ms);
    watch->check(t += 250ms);
    rig.host.runUntilIdle();
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].caption, "waveInUnprepareHeader (MM_WIM_DATA)");
    EXPECT_EQ(rig.host.boxes[0].text,
              "the capture device stopped: the device, its driver or the sound service went away");
    EXPECT_EQ(rig.host.quitPosts, 1);

    for (int i = 0; i < 40; ++i)
        watch->check(t += 250ms);
    for (WaveCall call : {WaveCall::Stop, WaveCall::Reset, WaveCall::Close}) {
        rig.in.faults.fail(call, kMmsyserrError);
        rig.out.faults.fail(call, kMmsyserrError);
    }
    rig.window->destroy();
    rig.host.runUntilIdle();
    EXPECT_EQ(rig.host.boxes.size(), 1u);
}

class WaveWatchDevices : public HostTest {
  protected:
    void queue(WaveIn& device, int from, int n) {
        for (int i = from; i < from + n; ++i) {
            engine::fillHeader(headers[i], buffers[i], sizeof buffers[i], i);
            device.prepareHeader(&headers[i]);
            device.addBuffer(&headers[i]);
        }
    }
    void queue(WaveOut& device, int from, int n) {
        for (int i = from; i < from + n; ++i) {
            engine::fillHeader(headers[i], buffers[i], sizeof buffers[i], i);
            device.prepareHeader(&headers[i]);
            device.write(&headers[i]);
        }
    }
    // Looks every quarter second for `span`.
    void watchFor(std::chrono::milliseconds span) {
        for (auto end = t + span; t < end;)
            watch->check(t += 250ms);
    }

    struct Target : MessageTarget {
        intptr_t handleMessage(uint32_t, uintptr_t, intptr_t) override { return 0; }
    } target;
    std::shared_ptr<WaveWatch> watch = std::make_shared<WaveWatch>(false);
    WaveWatch::Clock::time_point t = WaveWatch::Clock::now();
    WAVEHDR headers[5]{};
    int16_t buffers[5][64]{};
};

// Nothing is owed by a paused playback device, a capture device not started
// or a process that did not run; a buffer the device marked done counts
// before its message is handled.
TEST_F(WaveWatchDevices, OnlyARunningDeviceOwesBuffers) {
    sim::ScriptedWaveOut speakers;
    auto out = watchWaveOut(watch, speakers);
    ASSERT_EQ(out->open(engine::pcmFormat(1, 8000), &target), kMmsyserrNoError);
    out->pause();
    queue(*out, 0, 3);
    sim::ScriptedWaveIn microphone;
    auto in = watchWaveIn(watch, microphone);
    ASSERT_EQ(in->open(engine::pcmFormat(1, 8000), &target), kMmsyserrNoError);
    queue(*in, 3, 2);
    watchFor(10s);
    EXPECT_EQ(host.pending(), 0u);

    in->start();
    watchFor(2s);
    watch->check(t += 5s);  // stopped for five seconds, then on again
    watchFor(2s);
    EXPECT_EQ(host.pending(), 0u);
    headers[3].dwFlags |= kWhdrDone;  // as the device marks it, message not yet handled
    watchFor(2s);
    EXPECT_EQ(host.pending(), 0u);
    watchFor(2s);
    ASSERT_EQ(host.pending(), 1u);  // the second buffer, which never came back
    char text[128];
    const MMRESULT failed = in->unprepareHeader(&headers[4]);
    out->getErrorText(failed, text, sizeof text);
    EXPECT_STREQ(
        text, "the capture device stopped: the device, its driver or the sound service went away");
    EXPECT_EQ(in->unprepareHeader(&headers[4]), kMmsyserrNoError);  // reported once
    watchFor(10s);
    EXPECT_EQ(host.pending(), 1u);
}

}  // namespace
