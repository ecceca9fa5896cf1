// The devices behind pipe mode: capture that never reads ahead of the engine,
// and playback that keeps nothing per buffer.
#include <gtest/gtest.h>

#include "app/file/pipe_capture.h"
#include "engine/audio_engine.h"
#include "platform/sim/sim_host.h"

namespace {

struct CountingSource : sim::SampleSource {
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

struct NullSink : sim::SampleSink {
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

class StreamDevices : public ::testing::Test {
  protected:
    void SetUp() override { platform::setHost(&host); }
    void TearDown() override { platform::setHost(nullptr); }
    sim::SimHost host;
    Window window;
    platform::MessageTarget* target = &window;
};

TEST_F(StreamDevices, CaptureFillsOneQueuedBufferPerRequestAndNeverReadsAhead) {
    CountingSource source;
    source.left = 2 * 2048 + 100;
    file_tool::PipeCapture capture(host, source);
    stream::StreamWaveIn& in = capture.device;
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
    EXPECT_TRUE(capture.deliverNext());
    EXPECT_EQ(source.taken, 2048u);
    EXPECT_EQ(host.pending(), 1u);
    EXPECT_TRUE(capture.deliverNext());
    EXPECT_TRUE(capture.deliverNext());  // the short last block, padded with zeros
    EXPECT_EQ(buffers[2][99], 2 * 2048 + 99);
    EXPECT_EQ(buffers[2][100], 0);
    EXPECT_FALSE(capture.deliverNext());  // nothing queued
    in.reset();
}

TEST_F(StreamDevices, FilePlaybackKeepsNoRecordPerBuffer) {
    NullSink sink;
    sim::FileWaveOut out(sink);
    ASSERT_EQ(out.open(engine::pcmFormat(1, 8000), target), platform::kMmsyserrNoError);
    std::vector<int16_t> buffer(2048);
    platform::WAVEHDR header;
    for (int i = 0; i < 100; ++i) {
        engine::fillHeader(header, buffer.data(), 2048 * 2, 0);
        out.prepareHeader(&header);
        out.write(&header);
        host.runUntilIdle();
    }
    EXPECT_EQ(sink.values, 100u * 2048);
    EXPECT_EQ(window.messages, 100);
    EXPECT_TRUE(out.order.empty());
}

}  // namespace
