// Playback and the output pump: process captured blocks while the playback
// queue has room, and start or pause the device by the queue depth so that
// sound pauses instead of stuttering.
#include "engine/audio_engine.h"

using platform::MMRESULT;
using platform::MMSYSERR_NOERROR;

namespace {
constexpr int32_t kRoomBelow = 5;
constexpr int32_t kPauseBelow = 2;
constexpr int32_t kFlushAt = 9;
}  // namespace

bool CAudioEngine::openWaveOut() {
    const MMRESULT rc =
        outputDevice->open(engine::pcmFormat(simulatedStereo ? 2 : 1, sampleRate), callbackWindow);
    if (rc != MMSYSERR_NOERROR) {
        reportWaveError(rc, "waveOutOpen");
        return false;
    }
    outputOpen = 1;
    return true;
}

bool CAudioEngine::queuePlayback() {
    platform::WAVEHDR& h = playbackHeaders[outputSlot];
    // The same length in mono and stereo: a stereo slot holds half a block of pairs.
    engine::fillHeader(h, outputRing[outputSlot], blockLength * 2, outputSlot);
    if (outputOpen) {
        MMRESULT rc = outputDevice->prepareHeader(&h);
        if (rc != MMSYSERR_NOERROR) {
            reportWaveError(rc, "waveOutPrepareHeader");
            return false;
        }
        rc = outputDevice->write(&h);
        if (rc != MMSYSERR_NOERROR) {
            reportWaveError(rc, "waveOutWrite");
            return false;
        }
        outputQueued += 1;
    }
    outputSlot = (outputSlot + 1) % engine::kBufferCount;
    return true;
}

void CAudioEngine::pumpOutput() {
    if (outputQueued >= kRoomBelow) {
        regulateOutput();
        return;
    }
    do {
        if (pendingBlocks < engine::kBlocksNeeded) break;
        readSlot = processSlot;
        readNextSlot = nextCaptureSlot(processSlot);
        writeSlot = outputSlot;
        writeNextSlot = (outputSlot + 1) % engine::kBufferCount;
        processBlock();
        queuePlayback();
        if (simulatedStereo) queuePlayback();
        if (pendingBlocks > 0) pendingBlocks -= 1;
        // A buffer the device refuses now is out of circulation: capture goes
        // on with the others, and its slot is never read again.
        if (!queueCapture(processSlot) && inputOpen && !closing)
            retiredCaptureSlots |= 1u << processSlot;
        processSlot = nextCaptureSlot(processSlot);
    } while (outputQueued < kRoomBelow);
    regulateOutput();
}

uint32_t CAudioEngine::nextCaptureSlot(uint32_t slot) const {
    for (uint32_t step = 1; step <= engine::kBufferCount; ++step) {
        const uint32_t next = (slot + step) % engine::kBufferCount;
        if (!(retiredCaptureSlots & (1u << next))) return next;
    }
    return (slot + 1) % engine::kBufferCount;  // nothing left in circulation
}

void CAudioEngine::regulateOutput() {
    if (outputQueued < kPauseBelow) {
        outputPaused = 1;
        outputDevice->pause();
    }
    if (outputQueued >= kFlushAt) {
        outputDevice->reset();
        return;
    }
    if (outputQueued >= kRoomBelow && outputPaused) {
        outputPaused = 0;
        outputDevice->restart();
    }
}

void CAudioEngine::closeWaveOut() {
    if (!outputOpen) return;
    closing = 1;
    MMRESULT rc = outputDevice->reset();
    if (rc != MMSYSERR_NOERROR) reportWaveError(rc, "waveOutReset");
    for (auto& h : playbackHeaders)
        outputDevice->unprepareHeader(&h);
    rc = outputDevice->close();
    if (rc != MMSYSERR_NOERROR) reportWaveError(rc, "waveOutClose");
    outputOpen = 0;
}
