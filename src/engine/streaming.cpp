// The streaming path: the same frames, in the same order and with the same
// per-block events as the block pipeline, but each frame is processed as soon
// as the hop that completes it has been captured, and each output hop goes to
// the playback device as soon as no later frame adds to it. The devices move
// one hop per buffer; the rings are read as endless streams.
#include <cstring>

#include "engine/audio_engine.h"

using platform::kMmsyserrNoError;
using platform::MMRESULT;

void CAudioEngine::resetStream() {
    streamInput = 0;
    streamFrames = 0;
    heldCaptures.clear();
    readSlot = writeSlot = 0;
    readNextSlot = writeNextSlot = 1;
    // One frame at a time goes through lane 0; the others must hold zeros,
    // which the transforms keep as zeros.
    std::memset(lanes_.stageRe, 0, sizeof lanes_.stageRe);
    std::memset(lanes_.stageIm, 0, sizeof lanes_.stageIm);
    std::memset(lanes_.stageSecondRe, 0, sizeof lanes_.stageSecondRe);
    std::memset(lanes_.stageSecondIm, 0, sizeof lanes_.stageSecondIm);
}

void CAudioEngine::captureHop(uint32_t i) {
    const uint32_t slot = static_cast<uint32_t>(streamInput / blockLength % engine::kBufferCount);
    const uint32_t pos = static_cast<uint32_t>(streamInput % blockLength);
    conditionSamples(captureBuffers[i], &inputRing[slot][pos], hop);
    streamInput += hop;
    heldCaptures.push(i);  // never full: a buffer comes back once per queueing
    // The automatic level takes the peak of each whole block, as on the
    // block path.
    if (streamInput % blockLength == 0 && inputLevel_) inputLevel_->adjustInputLevel(inputPeak);
    pumpStream();
}

void CAudioEngine::pumpStream() {
    const uint32_t framesPerBlock = blockLength / hop;
    // A frame needs its last input sample, and a free playback buffer for the
    // hop it completes.
    while (streamInput >= streamFrames * hop + frameLength &&
           outputQueued < static_cast<int32_t>(engine::kBufferCount)) {
        processFrame();
        ++streamFrames;
        if (streamFrames % framesPerBlock == 0 && equalizerOn) updateEqualizer();
        queueHop();
    }
    returnCaptures();
}

bool CAudioEngine::queueHop() {
    // The frame just processed was the last to add to this hop.
    const uint32_t values = simulatedStereo ? 2 * hop : hop;
    const uint64_t first = (streamFrames - 1) * values;
    int16_t* data = &outputRing[first / blockLength % engine::kBufferCount][first % blockLength];
    platform::WAVEHDR& h = playbackHeaders[outputSlot];
    engine::fillHeader(h, data, values * 2, outputSlot);
    if (outputOpen) {
        MMRESULT rc = outputDevice->prepareHeader(&h);
        if (rc == kMmsyserrNoError) {
            rc = outputDevice->write(&h);
            if (rc != kMmsyserrNoError) reportWaveError(rc, "waveOutWrite");
        } else {
            reportWaveError(rc, "waveOutPrepareHeader");
        }
        if (rc != kMmsyserrNoError) {
            // The hop is lost; its place must be clear before frames add to
            // it again.
            std::memset(data, 0, values * sizeof(int16_t));
            return false;
        }
        outputQueued += 1;
    } else {
        std::memset(data, 0, values * sizeof(int16_t));
    }
    outputSlot = (outputSlot + 1) % engine::kBufferCount;
    return true;
}

void CAudioEngine::returnCaptures() {
    // A buffer goes back once every sample the device may then deliver lands
    // where no frame still to come reads: while the playback device holds
    // on to its buffers, capture stalls at the device, as on the block path.
    const uint64_t ring = uint64_t{engine::kBufferCount} * blockLength;
    while (!heldCaptures.empty()) {
        const uint32_t withDevice = engine::kBufferCount - heldCaptures.size() + 1;
        if (streamInput + uint64_t{withDevice} * hop > streamFrames * hop + ring) break;
        const uint32_t i = heldCaptures.pop();
        if (!queueCapture(i) && inputOpen && !closing) retiredCaptureSlots |= 1u << i;
    }
}
