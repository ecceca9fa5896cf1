// Engine start-up and shutdown, the wave message dispatch and the common
// device failure report.
#include <cstring>

#include "engine/audio_engine.h"
#include "engine/settings.h"

void engine::designInputFilters(InputFilters& filters, uint32_t sampleRate, platform::Host& host) {
    for (int n = designPrefilters(filters.prefilters, sampleRate); n > 0; --n)
        host.messageBox(nullptr, kFirAllocationText, kFirAllocationCaption, platform::kMbOk);
}

platform::WAVEFORMATEX engine::pcmFormat(uint16_t channels, int32_t sampleRate) {
    platform::WAVEFORMATEX format{};
    format.wFormatTag = platform::kWaveFormatPcm;
    format.nChannels = channels;
    format.nSamplesPerSec = static_cast<uint32_t>(sampleRate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<uint16_t>(channels * 16 / 8);
    format.nAvgBytesPerSec = static_cast<uint32_t>(sampleRate) * format.nBlockAlign;
    format.cbSize = 0;
    return format;
}

void engine::fillHeader(platform::WAVEHDR& header, void* data, uint32_t bytes, uint32_t index) {
    header.lpData = static_cast<char*>(data);
    header.dwBufferLength = bytes;
    header.dwBytesRecorded = 0;
    header.dwUser = index;
    header.dwFlags = 0;
    header.dwLoops = 0;
    header.lpNext = nullptr;
    header.reserved = 0;
}

CAudioEngine::CAudioEngine() = default;

void CAudioEngine::attach(platform::WaveIn* in, platform::WaveOut* out, engine::InputLevel* level,
                          engine::InputFilters* filters, platform::Host* host) {
    host_ = host;
    inputDevice = in;
    outputDevice = out;
    inputLevel_ = level;
    filters_ = filters;
}

void CAudioEngine::startup(platform::MessageTarget* window, int32_t rate, uint32_t stereo) {
    halfSize = engine::kBins;
    binCount = engine::kBins;
    fftSize = engine::kFftSize;
    frameLength = engine::kFftSize;
    indexMask = engine::kFftSize - 1;
    hop = engine::kHop;
    binHigh = engine::kBins - 1;
    fft.makeWindow(this->window, engine::kFftSize);
    sampleRate = rate;
    simulatedStereo = stereo;
    openDevices(window);
    blanker.configure(sampleRate);
    if (const int32_t refused = fft.initialize(fftSize); refused != 0) {
        host().messageBox(nullptr, CFft::refusalText(refused), CFft::kRefusalCaption,
                          platform::kMbOk | platform::kMbIconExclamation);
        host().postQuitMessage(0);
    }
    engine::resetMinimumAmplitudes(*this);
    for (uint32_t i = 0; i < binCount; ++i) {
        binFrequency[i] = fft.binFraction(fftSize, i) * sampleRate;
        heterodyneCounters[i] = 0;
        floorAverage[i] = 0.0;
    }
    noiseFloorFactor = 0.0;
    binLow = 2;
    showPeaks = 0;
    averagingOn = 0;
    expandorOn = 1;
    equalizerOn = 1;
    engine::setHeterodyne(*this, engine::HeterodyneMode::Window5000);
    frameCount = 0;
    engine::resetEnhancement(enhancement);
    // The menu and the window only switch the enhancement; its floor must
    // already be the default, or switching it on would pass everything.
    engine::setEnhancementFloor(enhancement, engine::kDefaultEnhancementFloorDb);
    engine::setEnhancementRate(enhancement, sampleRate);
    analysisSlot = 0;
    synthesisSlot = 1;
    for (uint32_t i = 0; i < binCount; ++i)
        equalizerGain[i] = 0.0;
}

void CAudioEngine::openDevices(platform::MessageTarget* window) {
    callbackWindow = window;
    closing = 0;
    if (sampleRate == 0) sampleRate = 11025;
    blockLength = engine::blockLengthFor(sampleRate);
    exponentialFactor = 0.0;
    processSlot = 0;
    retiredCaptureSlots = 0;
    outputSlot = 0;
    readPos = 0;
    writePos = 0;
    readFrameStart = 0;
    writeFrameStart = 0;
    voicePrefilterOn = 0;
    musicPrefilterOn = 0;
    lmsFilterOn = 0;
    linearCombinerOn = 0;
    blankerOn = 0;
    if (lowLatency()) resetStream();
    if (!openWaveIn()) {
        host().postQuitMessage(0);
        return;
    }
    if (!openWaveOut()) host().postQuitMessage(0);
}

void CAudioEngine::closeDevices() {
    closeWaveIn();
    closeWaveOut();
}

bool CAudioEngine::onWaveMessage(platform::MessageTarget*, uint32_t message, uintptr_t,
                                 intptr_t lParam) {
    auto* header = reinterpret_cast<platform::WAVEHDR*>(lParam);
    if (message == platform::kMmWimData) {
        if (!inputOpen) return true;
        const auto i = static_cast<uint32_t>(header->dwUser);
        if (i >= engine::kBufferCount) return true;  // not one of ours
        const platform::MMRESULT failure = inputDevice->unprepareHeader(&captureHeaders[i]);
        if (failure != platform::kMmsyserrNoError)
            return deviceFailed(failure, "waveInUnprepareHeader (MM_WIM_DATA)");
        if (closing) return false;
        if (lowLatency()) {
            captureHop(i);
            return true;
        }
        conditionInput(i);
        pendingBlocks += 1;
        if (inputLevel_) inputLevel_->adjustInputLevel(inputPeak);
        pumpOutput();
        return true;
    }
    if (message == platform::kMmWomDone) {
        if (closing) return false;
        const auto i = static_cast<uint32_t>(header->dwUser);
        if (i >= engine::kBufferCount) return true;  // not one of ours
        const platform::MMRESULT failure = outputDevice->unprepareHeader(&playbackHeaders[i]);
        if (failure != platform::kMmsyserrNoError)
            return deviceFailed(failure, "waveOutUnprepareHeader (MM_WOM_DONE)");
        if (outputQueued > 0) outputQueued -= 1;
        if (lowLatency()) {
            // The buffer is a hop inside the ring.
            std::memset(playbackHeaders[i].lpData, 0, playbackHeaders[i].dwBufferLength);
            pumpStream();
            return true;
        }
        for (uint32_t n = 0; n < blockLength; ++n)
            outputRing[i][n] = 0;
        pumpOutput();
        return true;
    }
    return false;
}

// A device that has failed for good hands the failure back with a buffer:
// unpreparing that buffer returns the device's error code. It is shown, and
// the program ends.
bool CAudioEngine::deviceFailed(platform::MMRESULT code, const char* call) {
    reportWaveError(code, call);
    host().postQuitMessage(0);
    return false;
}

void CAudioEngine::reportWaveError(platform::MMRESULT code, const char* caption) {
    // The capture device's text serves playback errors as well.
    if (inputDevice) inputDevice->getErrorText(code, errorText, sizeof errorText);
    host().messageBox(nullptr, errorText, caption, platform::kMbOk | platform::kMbIconExclamation);
}
