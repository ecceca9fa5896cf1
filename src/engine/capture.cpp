// Capture: ten buffers circulate between the device and the engine; a buffer
// goes back to the device only after its block has been processed.
#include "engine/audio_engine.h"

using platform::kMmsyserrNoError;
using platform::MMRESULT;

bool CAudioEngine::openWaveIn() {
    MMRESULT rc = inputDevice->open(engine::pcmFormat(1, sampleRate), callbackWindow);
    if (rc != kMmsyserrNoError) {
        reportWaveError(rc, "waveInOpen");
        return false;
    }
    inputOpen = 1;
    for (uint32_t i = 0; i < engine::kBufferCount; ++i)
        if (!queueCapture(i)) return false;
    rc = inputDevice->start();
    if (rc != kMmsyserrNoError) reportWaveError(rc, "waveInStart");
    return true;
}

bool CAudioEngine::queueCapture(uint32_t i) {
    if (!inputOpen) return false;
    platform::WAVEHDR& h = captureHeaders[i];
    engine::fillHeader(h, captureBuffers[i], captureLength() * 2, i);
    MMRESULT rc = inputDevice->prepareHeader(&h);
    if (rc != kMmsyserrNoError) {
        reportWaveError(rc, "waveInPrepareHeader");
        return false;
    }
    rc = inputDevice->addBuffer(&h);
    if (rc != kMmsyserrNoError) {
        reportWaveError(rc, "waveInAddBuffer");
        return false;
    }
    return true;
}

void CAudioEngine::closeWaveIn() {
    if (!inputOpen) return;
    closing = 1;
    MMRESULT rc = inputDevice->stop();
    if (rc != kMmsyserrNoError) reportWaveError(rc, "waveInStop");
    rc = inputDevice->reset();
    if (rc != kMmsyserrNoError) reportWaveError(rc, "waveInReset");
    for (auto& h : captureHeaders)
        inputDevice->unprepareHeader(&h);
    rc = inputDevice->close();
    if (rc != kMmsyserrNoError) reportWaveError(rc, "waveInClose");
    inputOpen = 0;
}
