// The ALSA wave devices keep the seam's promises, on ALSA's null PCM (which
// delivers silence and takes audio as fast as asked): completions in queue
// order, a paused playback device finishing nothing, reset returning every
// queued buffer, and ALSA's own text for its errors.
#include <alsa/asoundlib.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "engine/audio_engine.h"
#include "platform/alsa/alsa_wave.h"
#include "support/host_fixture.h"

namespace {

using namespace platform;

class AlsaWave : public HostTest {
  protected:
    // Waits until `count` messages are queued (or a second passed).
    bool waitFor(size_t count) {
        for (int i = 0; i < 200 && host.pending() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return host.pending() >= count;
    }
    void queue(WaveIn& in, int n) {
        for (int i = 0; i < n; ++i) {
            engine::fillHeader(headers[i], buffers[i], sizeof buffers[i], i);
            ASSERT_EQ(in.prepareHeader(&headers[i]), MMSYSERR_NOERROR);
            ASSERT_EQ(in.addBuffer(&headers[i]), MMSYSERR_NOERROR);
        }
    }
    void queue(WaveOut& out, int n) {
        for (int i = 0; i < n; ++i) {
            engine::fillHeader(headers[i], buffers[i], sizeof buffers[i], i);
            ASSERT_EQ(out.prepareHeader(&headers[i]), MMSYSERR_NOERROR);
            ASSERT_EQ(out.write(&headers[i]), MMSYSERR_NOERROR);
        }
    }

    struct Recorder : MessageTarget {
        std::vector<uintptr_t> order;
        uint32_t message = 0;
        intptr_t handleMessage(uint32_t m, uintptr_t, intptr_t l) override {
            message = m;
            order.push_back(reinterpret_cast<WAVEHDR*>(l)->dwUser);
            return 0;
        }
    } target;
    WAVEHDR headers[4]{};
    int16_t buffers[4][512]{};
};

TEST_F(AlsaWave, CaptureFillsInQueueOrderAndResetReturnsTheRest) {
    auto in = alsa::makeWaveIn("null");
    ASSERT_EQ(in->open(engine::pcmFormat(1, 11025), &target), MMSYSERR_NOERROR);
    queue(*in, 3);
    EXPECT_FALSE(waitFor(1)) << "nothing is filled before start";
    ASSERT_EQ(in->start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(waitFor(3));
    in->stop();
    host.runUntilIdle();
    EXPECT_EQ(target.message, MM_WIM_DATA);
    EXPECT_EQ(target.order, (std::vector<uintptr_t>{0, 1, 2}));
    EXPECT_EQ(headers[2].dwBytesRecorded, sizeof buffers[2]);
    EXPECT_EQ(in->unprepareHeader(&headers[0]), MMSYSERR_NOERROR);

    target.order.clear();
    queue(*in, 2);
    EXPECT_EQ(in->unprepareHeader(&headers[0]), WAVERR_STILLPLAYING);
    ASSERT_EQ(in->reset(), MMSYSERR_NOERROR);
    host.runUntilIdle();
    EXPECT_EQ(target.order, (std::vector<uintptr_t>{0, 1}));
    EXPECT_EQ(in->close(), MMSYSERR_NOERROR);
}

TEST_F(AlsaWave, CaptureWithoutBuffersLongerThanItsRingOverruns) {
    // A sound server keeps what a card would lose; the device loses it.
    alsa::DeviceStats stats;
    auto in = alsa::makeWaveIn("null", &stats);
    ASSERT_EQ(in->open(engine::pcmFormat(1, 8000), &target), MMSYSERR_NOERROR);
    queue(*in, 1);
    in->start();
    ASSERT_TRUE(waitFor(1));
    EXPECT_EQ(stats.xruns, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    host.runUntilIdle();
    queue(*in, 1);
    ASSERT_TRUE(waitFor(1));
    EXPECT_EQ(stats.xruns, 1u);
    in->reset();
    in->close();
}

TEST_F(AlsaWave, PausedPlaybackFinishesNothingUntilRestarted) {
    auto out = alsa::makeWaveOut("null");
    ASSERT_EQ(out->open(engine::pcmFormat(1, 8000), &target), MMSYSERR_NOERROR);
    ASSERT_EQ(out->pause(), MMSYSERR_NOERROR);
    queue(*out, 3);
    EXPECT_FALSE(waitFor(1));
    ASSERT_EQ(out->restart(), MMSYSERR_NOERROR);
    ASSERT_TRUE(waitFor(3));
    host.runUntilIdle();
    EXPECT_EQ(target.message, MM_WOM_DONE);
    EXPECT_EQ(target.order, (std::vector<uintptr_t>{0, 1, 2}));

    target.order.clear();
    out->pause();
    queue(*out, 4);
    ASSERT_EQ(out->reset(), MMSYSERR_NOERROR);
    host.runUntilIdle();
    EXPECT_EQ(target.order, (std::vector<uintptr_t>{0, 1, 2, 3}));
    EXPECT_EQ(out->close(), MMSYSERR_NOERROR);
}

TEST_F(AlsaWave, ErrorsCarryAlsasText) {
    auto in = alsa::makeWaveIn("no-such-pcm-here");
    const MMRESULT rc = in->open(engine::pcmFormat(1, 8000), &target);
    ASSERT_NE(rc, MMSYSERR_NOERROR);
    char text[256];
    in->getErrorText(rc, text, sizeof text);
    EXPECT_STRNE(text, "");
    in->getErrorText(alsa::errorCode(-ENODEV), text, sizeof text);
    EXPECT_STREQ(text, snd_strerror(-ENODEV));
    in->getErrorText(MMSYSERR_NOMEM, text, 8);  // the seam's own codes, truncated
    EXPECT_STREQ(text, "Unable ");
    auto out = alsa::makeWaveOut("null");
    WAVEFORMATEX eightBit = engine::pcmFormat(1, 8000);
    eightBit.wBitsPerSample = 8;
    EXPECT_EQ(out->open(eightBit, &target), WAVERR_BADFORMAT);
}

}  // namespace
