// The operations that write the band mask and the minimum amplitudes; the
// spectral filter reads what they write.
#include "engine/audio_engine.h"

namespace {
constexpr double kMinimumAmplitudeFloor = 0.1;

// Whether a preset passes a bin of frequency f (presets that replace the mask).
bool presetPasses(uint32_t code, double f) {
    switch (code) {
        case engine::kBandVoiceNarrow:
            return (300 < f && f < 600) || (1500 < f && f < 2500);
        case engine::kBandVoiceMiddle:
            return (200 < f && f < 800) || (1300 < f && f < 3400);
        case engine::kBandVoiceWide:
            return (150 < f && f < 800) || (1300 < f && f < 4800);
        case engine::kBandMusicNarrow:
            return 150 < f && f < 4900;
        case engine::kBandMusicWide:
            return 100 < f && f < 8000;
        default:
            return false;
    }
}

// Whether a preset stops a bin of frequency f (presets that add to the mask).
bool presetStops(uint32_t code, double f) {
    switch (code) {
        case engine::kBandNotchNarrow:
            return 4925 < f && f < 5075;
        case engine::kBandNotchWide:
            return 4800 < f && f < 5200;
        case engine::kBandStopBelow100:
            return f < 100;
        case engine::kBandStopBelow200:
            return f < 200;
        case engine::kBandStopBelow300:
            return f < 300;
        case engine::kBandStopAbove3000:
            return f > 3000;
        case engine::kBandStopAbove4000:
            return f > 4000;
        case engine::kBandStopAbove5000:
            return f > 5000;
        case engine::kBandStopAbove6000:
            return f > 6000;
        default:
            return false;
    }
}
}  // namespace

void CAudioEngine::applyBandOperation(uint32_t code, uint32_t low, uint32_t high) {
    for (uint32_t k = 0; k < binHigh; ++k) {
        const double f = binFrequency[k];
        switch (code) {
            case engine::kBandPass:
                if (low <= k && k < high) bandMask[k] = 0;
                break;
            case engine::kBandStop:
                if (low <= k && k < high) bandMask[k] = 1;
                break;
            case engine::kBandVoiceNarrow:
            case engine::kBandVoiceMiddle:
            case engine::kBandVoiceWide:
            case engine::kBandMusicNarrow:
            case engine::kBandMusicWide:
                bandMask[k] = presetPasses(code, f) ? 0 : 1;
                break;
            default:
                if (presetStops(code, f)) bandMask[k] = 1;
                break;
        }
    }
}

void CAudioEngine::setAllMinimumAmplitudes(double value) {
    const double v = value > kMinimumAmplitudeFloor ? value : kMinimumAmplitudeFloor;
    for (uint32_t k = 0; k < engine::kBins; ++k)
        minimumAmplitude[k] = v;
}

void CAudioEngine::shiftAllMinimumAmplitudes(double delta) {
    for (uint32_t k = 0; k < engine::kBins; ++k) {
        const double v = minimumAmplitude[k] + delta;
        minimumAmplitude[k] = v < kMinimumAmplitudeFloor ? kMinimumAmplitudeFloor : v;
    }
}
