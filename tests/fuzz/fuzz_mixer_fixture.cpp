// The simulated card's fixture loader, and lookups on whatever it accepts.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/sim/sim_mixer.h"

namespace {

void load(const std::string& text) {
    try {
        auto card = sim::parseSimMixer(text);
        // A list control holds one value per item, any other control one value.
        for (uint32_t id = 0; id < 64; ++id) {
            const sim::SimMixer::Control* c = card->control(id);
            if (!c) continue;
            const uint32_t type = c->info.dwControlType;
            const bool list =
                (type & platform::kMixerControlCtClassList) == platform::kMixerControlCtClassList;
            if (c->values.size() != (list ? c->info.cMultipleItems : 1u)) __builtin_trap();
        }
        card->recordingGain();
        card->playbackGain(platform::kMixerLineComponentTypeSrcWaveOut);
    } catch (const std::runtime_error&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    load(text);
    // Inputs stop at 64 KB, far short of the nesting that once overflowed the
    // stack: the input is also read as a list control's values, inside up to
    // 250,000 brackets.
    const size_t depth = (size % 64) * 4000;
    load(R"({"destinations": [{"type": "DST_WAVEIN", "controls": [{"type": "MUX", "items": 2, )"
         R"("values": )" +
         std::string(depth, '[') + text + std::string(depth, ']') + "}]}]}");
    return 0;
}
