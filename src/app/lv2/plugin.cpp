// The plugin entry: two plugins, mono and simulated stereo, on one engine
// stream each. Ports: the controls in the order of Controls, the latency, the
// mono input and one or two outputs; both plugins share the indices up to
// the first output.
#include <lv2/core/lv2.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "app/lv2/controls.h"
#include "app/lv2/engine_stream.h"

namespace {

using lv2_plugin::Controls;
using lv2_plugin::EngineStream;
using lv2_plugin::kControlCount;
using lv2_plugin::kControlFields;

constexpr char kMonoUri[] = "urn:tarnix:lv2:mono";
constexpr char kStereoUri[] = "urn:tarnix:lv2:stereo";

struct Plugin {
    int32_t rate = 0;
    uint32_t channels = 1;
    const float* in = nullptr;
    float* out[2] = {};
    const float* control[kControlCount] = {};
    float* latency = nullptr;
    std::unique_ptr<EngineStream> stream;
    lv2_plugin::ControlMapper mapper;
    bool fresh = true;  // nothing has run since the engine started
};

LV2_Handle instantiate(const LV2_Descriptor* descriptor, double rate, const char*,
                       const LV2_Feature* const*) {
    const uint32_t channels = std::strcmp(descriptor->URI, kStereoUri) == 0 ? 2 : 1;
    if (!(rate >= engine::kMinSampleRate && rate <= engine::kMaxSampleRate)) return nullptr;
    if (rate != static_cast<int32_t>(rate)) return nullptr;
    try {
        auto p = std::make_unique<Plugin>();
        p->rate = static_cast<int32_t>(rate);
        p->channels = channels;
        p->stream = EngineStream::create(p->rate, channels);
        if (!p->stream) return nullptr;
        return p.release();
    } catch (...) {
        return nullptr;
    }
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) {
    auto* p = static_cast<Plugin*>(handle);
    constexpr uint32_t kLatencyPort = kControlCount;
    constexpr uint32_t kInPort = kLatencyPort + 1;
    if (port < kControlCount)
        p->control[port] = static_cast<const float*>(data);
    else if (port == kLatencyPort)
        p->latency = static_cast<float*>(data);
    else if (port == kInPort)
        p->in = static_cast<const float*>(data);
    else if (port - kInPort - 1 < p->channels)
        p->out[port - kInPort - 1] = static_cast<float*>(data);
}

void activate(LV2_Handle handle) {
    auto* p = static_cast<Plugin*>(handle);
    if (p->fresh) return;
    // Nothing of what was played before may come out again: start afresh.
    p->stream.reset();
    try {
        p->stream = EngineStream::create(p->rate, p->channels);
    } catch (...) {
    }
    p->mapper = {};
    p->fresh = true;
}

void run(LV2_Handle handle, uint32_t count) {
    auto* p = static_cast<Plugin*>(handle);
    if (!p->stream) {
        // Only if starting afresh ran out of memory: play silence.
        for (uint32_t c = 0; c < p->channels; ++c)
            if (p->out[c]) std::memset(p->out[c], 0, count * sizeof(float));
        return;
    }
    Controls c;
    for (uint32_t i = 0; i < kControlCount; ++i)
        c.*kControlFields[i] = p->control[i] ? *p->control[i] : NAN;
    p->mapper.apply(c, p->stream->engine());
    p->stream->process(p->in, p->out, count);
    p->fresh = false;
    if (p->latency) *p->latency = static_cast<float>(p->stream->latency());
}

void cleanup(LV2_Handle handle) {
    delete static_cast<Plugin*>(handle);
}

const void* extensionData(const char*) {
    return nullptr;
}

const LV2_Descriptor kDescriptors[] = {
    {kMonoUri, instantiate, connectPort, activate, run, nullptr, cleanup, extensionData},
    {kStereoUri, instantiate, connectPort, activate, run, nullptr, cleanup, extensionData},
};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index < sizeof kDescriptors / sizeof kDescriptors[0] ? &kDescriptors[index] : nullptr;
}
