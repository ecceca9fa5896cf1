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
#include "platform/alsa/delay_keeper.h"
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
            ASSERT_EQ(in.prepareHeader(&headers[i]), kMmsyserrNoError);
            ASSERT_EQ(in.addBuffer(&headers[i]), kMmsyserrNoError);
        }
    }
    void queue(WaveOut& out, int n) {
        for (int i = 0; i < n; ++i) {
            engine::fillHeader(headers[i], buffers[i], sizeof buffers[i], i);
            ASSERT_EQ(out.prepareHeader(&headers[i]), kMmsyserrNoError);
            ASSERT_EQ(out.write(&headers[i]), kMmsyserrNoError);
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
    ASSERT_EQ(in->open(engine::pcmFormat(1, 11025), &target), kMmsyserrNoError);
    queue(*in, 3);
    EXPECT_FALSE(waitFor(1)) << "nothing is filled before start";
    ASSERT_EQ(in->start(), kMmsyserrNoError);
    ASSERT_TRUE(waitFor(3));
    in->stop();
    host.runUntilIdle();
    EXPECT_EQ(target.message, kMmWimData);
    EXPECT_EQ(target.order, (std::vector<uintptr_t>{0, 1, 2}));
    EXPECT_EQ(headers[2].dwBytesRecorded, sizeof buffers[2]);
    EXPECT_EQ(in->unprepareHeader(&headers[0]), kMmsyserrNoError);

    target.order.clear();
    queue(*in, 2);
    EXPECT_EQ(in->unprepareHeader(&headers[0]), kWaverrStillPlaying);
    ASSERT_EQ(in->reset(), kMmsyserrNoError);
    host.runUntilIdle();
    EXPECT_EQ(target.order, (std::vector<uintptr_t>{0, 1}));
    EXPECT_EQ(in->close(), kMmsyserrNoError);
}

TEST_F(AlsaWave, CaptureWithoutBuffersLongerThanItsRingOverruns) {
    // A sound server keeps what a card would lose; the device loses it.
    alsa::DeviceStats stats;
    auto in = alsa::makeWaveIn("null", &stats);
    ASSERT_EQ(in->open(engine::pcmFormat(1, 8000), &target), kMmsyserrNoError);
    queue(*in, 1);
    in->start();
    ASSERT_TRUE(waitFor(1));
    EXPECT_EQ(stats.xruns, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));  // its ring: 512 ms
    host.runUntilIdle();
    queue(*in, 1);
    ASSERT_TRUE(waitFor(1));
    EXPECT_EQ(stats.xruns, 1u);
    in->reset();
    in->close();
}

TEST_F(AlsaWave, PausedPlaybackFinishesNothingUntilRestarted) {
    auto out = alsa::makeWaveOut("null");
    ASSERT_EQ(out->open(engine::pcmFormat(1, 8000), &target), kMmsyserrNoError);
    ASSERT_EQ(out->pause(), kMmsyserrNoError);
    queue(*out, 3);
    EXPECT_FALSE(waitFor(1));
    ASSERT_EQ(out->restart(), kMmsyserrNoError);
    ASSERT_TRUE(waitFor(3));
    host.runUntilIdle();
    EXPECT_EQ(target.message, kMmWomDone);
    EXPECT_EQ(target.order, (std::vector<uintptr_t>{0, 1, 2}));

    target.order.clear();
    out->pause();
    queue(*out, 4);
    ASSERT_EQ(out->reset(), kMmsyserrNoError);
    host.runUntilIdle();
    EXPECT_EQ(target.order, (std::vector<uintptr_t>{0, 1, 2, 3}));
    EXPECT_EQ(out->close(), kMmsyserrNoError);
}

TEST_F(AlsaWave, ErrorsCarryAlsasText) {
    auto in = alsa::makeWaveIn("no-such-pcm-here");
    const MMRESULT rc = in->open(engine::pcmFormat(1, 8000), &target);
    ASSERT_NE(rc, kMmsyserrNoError);
    char text[256];
    in->getErrorText(rc, text, sizeof text);
    EXPECT_STRNE(text, "");
    in->getErrorText(alsa::errorCode(-ENODEV), text, sizeof text);
    EXPECT_STREQ(text, snd_strerror(-ENODEV));
    in->getErrorText(kMmsyserrNoMem, text, 8);  // the seam's own codes, truncated
    EXPECT_STREQ(text, "Unable ");
    auto out = alsa::makeWaveOut("null");
    WAVEFORMATEX eightBit = engine::pcmFormat(1, 8000);
    eightBit.wBitsPerSample = 8;
    EXPECT_EQ(out->open(eightBit, &target), kWaverrBadFormat);
}

// The delay settles once playback has run for a while; a loss on either side
// is given back within a second, once, and jitter is left alone.
TEST(DelayKeeper, GivesBackWhatALossAddedOrTookAway) {
    using namespace std::chrono;
    const unsigned rate = 11025;
    alsa::detail::DelayKeeper keeper(rate);
    auto t = alsa::detail::Clock::time_point{};
    double captured = 15000, played = 0;
    long total = 0;
    // Runs `ms` milliseconds in steps of a period; returns the corrections.
    auto run = [&](int ms, bool playing = true) {
        long sum = 0;
        for (int i = 0; i < ms / 10; ++i) {
            t += milliseconds(10);
            captured += rate / 100.0;
            if (playing) played += rate / 100.0;
            const double jitter = (i % 3 - 1) * 40.0;  // about 4 ms either way
            const long change = keeper.step(captured + jitter - total, playing, played, t);
            sum += change;
            total += change;
        }
        return sum;
    };
    EXPECT_EQ(run(500, false), 0);
    EXPECT_EQ(run(3000), 0);
    ASSERT_TRUE(keeper.known());
    EXPECT_NEAR(keeper.baseline(), 15000 + rate * 0.5, 50);  // where playback began, plus settling
    run(300, false);  // an underrun: 300 ms of silence played
    EXPECT_NEAR(run(1000), rate * 0.3, 60);
    EXPECT_EQ(run(3000), 0);
    captured -= rate * 0.1;  // an overrun: 100 ms lost on the way in
    EXPECT_NEAR(run(1000), -(rate * 0.1), 60);
    EXPECT_EQ(run(3000), 0);
}

}  // namespace
