#include "app/lv2/engine_stream.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace lv2_plugin {

static_assert(stream::kMaxBuffers >= engine::kBufferCount &&
              stream::kMaxBufferSamples >= engine::kSlotCapacity &&
              stream::SampleFifo::kCapacity >=
                  (engine::kStreamingLatency + engine::kBufferCount * engine::kHop) * 2);

namespace {

// Host samples are floats with full scale at 1.0; the engine's are 16-bit
// values. A 16-bit sample converts to a float and back exactly.
int16_t toSample(float x) {
    const double v = static_cast<double>(x) * 32768.0;
    if (v >= 32767.0) return 32767;
    if (v <= -32768.0) return -32768;
    if (!(v == v)) return 0;  // NaN
    return static_cast<int16_t>(std::lrint(v));
}

}  // namespace

EngineStream::EngineStream(uint32_t channels)
    : channels_(channels),
      engine_(std::make_unique<CAudioEngine>()),
      filters_(std::make_unique<engine::InputFilters>()),
      session_(*engine_, *filters_) {}

EngineStream::~EngineStream() {
    session_.stop();
    messages_.clear();
}

std::unique_ptr<EngineStream> EngineStream::create(int32_t rate, uint32_t channels) {
    if (rate < engine::kMinSampleRate || rate > engine::kMaxSampleRate || channels < 1 ||
        channels > 2)
        return nullptr;
    std::unique_ptr<EngineStream> s;
    try {
        s.reset(new EngineStream(channels));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    // Started as the other programs start it.
    s->engine_->attach(&s->in_, &s->out_, &s->level_, s->filters_.get(), &s->host_);
    s->session_.setLatencyMode(engine::LatencyMode::Low);
    s->session_.start(rate, channels == 2);
    s->messages_.deliver();

    const CAudioEngine& e = *s->engine_;
    const Prefilters& p = s->filters_->prefilters;
    if (!e.inputOpen || !e.outputOpen || p.voiceLow.status() != 0 || p.voiceHigh.status() != 0 ||
        p.music.status() != 0 || s->host_.failures != 0)
        return nullptr;

    // Each hop is handed over as soon as its last sample arrives, and the
    // output it makes final comes out at once; the pipeline's own delay is
    // in the engine's output already.
    s->latency_ = s->session_.latency() - s->engine_->inputDelay();
    s->played_.pushZeros((s->latency_ - engine::kPipelineDelay) * channels);
    return s;
}

void EngineStream::process(const float* in, float* const* out, uint32_t count) {
    const uint32_t length = session_.captureFrames();
    for (uint32_t done = 0; done < count;) {
        const uint32_t n = std::min(count - done, length - gathered_);
        for (uint32_t i = 0; i < n; ++i)
            hop_[gathered_ + i] = toSample(in[done + i]);
        gathered_ += n;
        if (gathered_ == length) {
            in_.capture(hop_, length);
            messages_.deliver();
            gathered_ = 0;
        }
        // Read out only now: a hop completed by this stretch may be what it
        // plays, and the whole stretch of input has been read before any
        // output is written, so the buffers may be the same.
        for (uint32_t i = 0; i < n; ++i)
            for (uint32_t c = 0; c < channels_; ++c)
                out[c][done + i] = static_cast<float>(played_.pop()) / 32768.0f;
        done += n;
    }
}

void MessageQueue::post(platform::MessageTarget* target, uint32_t message,
                        platform::WAVEHDR* header) {
    messages_.push({target, message, header});  // never full: each header is in flight once
}

void MessageQueue::deliver() {
    while (!messages_.empty()) {
        const Message m = messages_.pop();
        m.target->handleMessage(m.message, 0, reinterpret_cast<intptr_t>(m.header));
    }
}

}  // namespace lv2_plugin
