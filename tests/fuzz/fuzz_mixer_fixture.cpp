// The simulated card's fixture loader, and lookups on whatever it accepts.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/sim/sim_mixer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        auto card = sim::parseSimMixer(std::string(reinterpret_cast<const char*>(data), size));
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
    return 0;
}
