// The offline platform's file devices: capture that reads ahead or never
// does, and playback that holds buffers only while paused.
#include <gtest/gtest.h>

#include "engine/audio_engine.h"
#include "platform/offline/file_devices.h"
#include "platform/offline/offline_host.h"

namespace {

struct CountingSource : offline::SampleSource {
    size_t read(int16_t* samples, size_t count) override {
        const size_t n = std::min(count, left);
        for (size_t i = 0; i < n; ++i)
            samples[i] = static_cast<int16_t>(taken + i);
        taken += n;
        left -= n;
        return n;
    }
    size_t taken = 0, left = 0;
};

struct NullSink : offline::SampleSink {
    void write(const int16_t*, size_t count) override { values += count; }
    size_t values = 0;
};

struct Window : platform::MessageTarget {
    intptr_t handleMessage(uint32_t, uintptr_t, intptr_t) override {
        ++messages;
        return 0;
    }
    int messages = 0;
};

class FileDevices : public ::testing::Test {
  protected:
    void SetUp() override { platform::setHost(&host); }
    void TearDown() override { platform::setHost(nullptr); }
    offline::OfflineHost host;
    Window window;
    platform::MessageTarget* target = &window;
};

TEST_F(FileDevices, CaptureFillsOneQueuedBufferPerRequestAndNeverReadsAhead) {
    CountingSource source;
    source.left = 2 * 2048 + 100;
    offline::FileWaveIn in(source, offline::FileWaveIn::Pacing::OnRequest);
    std::vector<int16_t> buffers[3];
    platform::WAVEHDR headers[3];
    ASSERT_EQ(in.open(engine::pcmFormat(1, 8000), target), platform::kMmsyserrNoError);
    for (int i = 0; i < 3; ++i) {
        buffers[i].assign(2048, -1);
        engine::fillHeader(headers[i], buffers[i].data(), 2048 * 2, i);
        in.prepareHeader(&headers[i]);
        in.addBuffer(&headers[i]);
    }
    in.start();
    EXPECT_EQ(source.taken, 0u);  // queued buffers alone read nothing
    EXPECT_TRUE(in.deliverNext());
    EXPECT_EQ(source.taken, 2048u);
    EXPECT_EQ(host.pending(), 1u);
    EXPECT_TRUE(in.deliverNext());
    EXPECT_TRUE(in.deliverNext());  // the short last block, padded with zeros
    EXPECT_EQ(buffers[2][99], 2 * 2048 + 99);
    EXPECT_EQ(buffers[2][100], 0);
    EXPECT_FALSE(in.deliverNext());  // nothing queued
    in.reset();
}

TEST_F(FileDevices, ReadAheadCaptureFillsEveryQueuedBufferUntilTheSourceEnds) {
    CountingSource source;
    source.left = 2048 + 5;
    offline::FileWaveIn in(source);
    std::vector<int16_t> buffers[3];
    platform::WAVEHDR headers[3];
    ASSERT_EQ(in.open(engine::pcmFormat(1, 8000), target), platform::kMmsyserrNoError);
    in.start();
    for (int i = 0; i < 3; ++i) {
        buffers[i].assign(2048, -1);
        engine::fillHeader(headers[i], buffers[i].data(), 2048 * 2, i);
        in.prepareHeader(&headers[i]);
        in.addBuffer(&headers[i]);
    }
    EXPECT_EQ(host.pending(), 2u);  // the third waits: the source has ended
    EXPECT_EQ(buffers[1][4], 2048 + 4);
    EXPECT_EQ(buffers[1][5], 0);
    EXPECT_EQ(in.close(), platform::kWaverrStillPlaying);
    in.reset();
    EXPECT_EQ(headers[2].dwBytesRecorded, 0u);
    host.runUntilIdle();
    EXPECT_EQ(in.unprepareHeader(&headers[2]), platform::kMmsyserrNoError);
    EXPECT_EQ(in.close(), platform::kMmsyserrNoError);
}

TEST_F(FileDevices, PlaybackHoldsBuffersOnlyWhilePausedAndDrainsThemAtTheEnd) {
    NullSink sink;
    offline::FileWaveOut out(sink);
    ASSERT_EQ(out.open(engine::pcmFormat(2, 8000), target), platform::kMmsyserrNoError);
    std::vector<int16_t> buffer(2048);
    platform::WAVEHDR headers[2];
    for (auto& header : headers) {
        engine::fillHeader(header, buffer.data(), 2048 * 2, 0);
        out.prepareHeader(&header);
    }
    out.write(&headers[0]);
    EXPECT_EQ(sink.values, 2048u);
    out.pause();
    out.write(&headers[1]);
    EXPECT_EQ(sink.values, 2048u);
    EXPECT_EQ(out.unprepareHeader(&headers[1]), platform::kWaverrStillPlaying);
    EXPECT_EQ(out.drain(), 1u);
    EXPECT_EQ(sink.values, 2u * 2048);
    host.runUntilIdle();
    EXPECT_EQ(window.messages, 2);
}

}  // namespace
