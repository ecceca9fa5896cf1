// The device side of the engine: the capture and playback devices and their
// buffers, the rings between them and the pipeline, and the bookkeeping of
// blocks and frames that the capture, the output pump and the pipeline share.
#pragma once

#include <cstdint>

#include "engine/constants.h"
#include "platform/fixed_ring.h"
#include "platform/host.h"
#include "platform/wave.h"

namespace engine {

struct StreamState {
    // Device and stream state.
    platform::MessageTarget* callbackWindow = nullptr;
    int32_t sampleRate = 0;
    uint32_t simulatedStereo = 0;
    uint32_t blockLength = 0;
    platform::WaveIn* inputDevice = nullptr;
    platform::WaveOut* outputDevice = nullptr;
    uint32_t inputOpen = 0;
    uint32_t outputOpen = 0;
    platform::WAVEHDR captureHeaders[kBufferCount] = {};
    platform::WAVEHDR playbackHeaders[kBufferCount] = {};
    char errorText[256] = {};
    uint32_t closing = 0;
    int32_t inputPeak = 0;
    int32_t outputQueued = 0;
    int16_t captureBuffers[kBufferCount][kSlotCapacity] = {};
    double inputRing[kBufferCount][kSlotCapacity] = {};
    int16_t outputRing[kBufferCount][kSlotCapacity] = {};

    // Block and frame bookkeeping.
    uint32_t processSlot = 0;
    uint32_t outputSlot = 0;
    uint32_t pendingBlocks = 0;
    uint32_t readSlot = 0;
    uint32_t writeSlot = 0;
    uint32_t readNextSlot = 0;
    uint32_t writeNextSlot = 0;
    uint32_t readPos = 0;
    uint32_t writePos = 0;
    uint32_t readFrameStart = 0;
    uint32_t writeFrameStart = 0;

    // Set while the playback device has been paused and not restarted since.
    // The program has one engine, so keeping it here is the same as a global.
    uint32_t outputPaused = 1;

    // Capture buffers that could not be given back to the device while
    // streaming (bit i: buffer i). Their ring slots hold stale audio, so the
    // pump steps over them instead of playing a block a second time.
    uint32_t retiredCaptureSlots = 0;

    // The timing, chosen before start-up; it holds for the whole run.
    LatencyMode latencyMode = LatencyMode::Design;

    // The streaming path (LatencyMode::Low). The rings are read as endless
    // streams: input sample s lies in slot (s / blockLength) mod 10 at
    // s mod blockLength, and so does output value v.
    uint64_t streamInput = 0;   // input samples conditioned into the ring
    uint64_t streamFrames = 0;  // frames processed
    // Capture buffers whose hop is in the ring but which wait to go back to
    // the device until the ring has room for all it may deliver.
    platform::FixedRing<uint32_t, kBufferCount> heldCaptures;
};

}  // namespace engine
