// The waveform-audio seam: capture and playback of 16-bit PCM in buffers that
// circulate between the core and a device.
//
// What the core guarantees to a backend:
// - Every call comes from the loop's thread, one at a time.
// - A header is prepared before it is added or written, is not touched by the
//   core while the device holds it, and is unprepared after it came back.
// - The data area of a header stays valid until the device is closed.
//
// What every backend must do:
// - open() takes the format and the target that receives completion messages
//   (the default device, window callback mode). It fails with a nonzero code
//   when no device is there or the format is refused.
// - A capture device fills queued buffers in the order they were added and
//   posts one kMmWimData (lParam: the header) per filled buffer; a playback
//   device plays buffers in the order they were written and posts one
//   kMmWomDone (lParam: the header) per finished buffer. Messages go through
//   platform::host().postMessage, so they arrive on the loop's thread.
// - A paused playback device finishes nothing until restarted. A capture
//   device fills nothing until started, and nothing after stop().
// - reset() returns every queued buffer at once, each with its message, in
//   queue order (bytes recorded as far as filled).
// - Each call returns 0 (kMmsyserrNoError) or an error code; getErrorText
//   turns a code into the platform's text.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/host.h"
#include "platform/mmresult.h"

namespace platform {

inline constexpr MMRESULT kWaverrBadFormat = 32;
inline constexpr MMRESULT kWaverrStillPlaying = 33;
inline constexpr MMRESULT kWaverrUnprepared = 34;

inline constexpr uint16_t kWaveFormatPcm = 1;
inline constexpr uint32_t kWhdrDone = 0x01;
inline constexpr uint32_t kWhdrPrepared = 0x02;
inline constexpr uint32_t kWhdrInQueue = 0x10;

struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
};

struct WAVEHDR {
    char* lpData;
    uint32_t dwBufferLength;
    uint32_t dwBytesRecorded;
    uintptr_t dwUser;
    uint32_t dwFlags;
    uint32_t dwLoops;
    WAVEHDR* lpNext;
    uintptr_t reserved;
};

// Shared by both directions: the text of an error code, at most size - 1
// characters and always terminated.
class WaveErrorText {
  public:
    virtual ~WaveErrorText() = default;
    virtual MMRESULT getErrorText(MMRESULT code, char* text, uint32_t size) = 0;
};

class WaveIn : public WaveErrorText {
  public:
    virtual MMRESULT open(const WAVEFORMATEX& format, MessageTarget* callback) = 0;
    virtual MMRESULT prepareHeader(WAVEHDR* header) = 0;
    virtual MMRESULT addBuffer(WAVEHDR* header) = 0;
    virtual MMRESULT start() = 0;
    virtual MMRESULT stop() = 0;
    virtual MMRESULT reset() = 0;
    virtual MMRESULT unprepareHeader(WAVEHDR* header) = 0;
    virtual MMRESULT close() = 0;
};

class WaveOut : public WaveErrorText {
  public:
    virtual MMRESULT open(const WAVEFORMATEX& format, MessageTarget* callback) = 0;
    virtual MMRESULT prepareHeader(WAVEHDR* header) = 0;
    virtual MMRESULT write(WAVEHDR* header) = 0;
    virtual MMRESULT pause() = 0;
    virtual MMRESULT restart() = 0;
    virtual MMRESULT reset() = 0;
    virtual MMRESULT unprepareHeader(WAVEHDR* header) = 0;
    virtual MMRESULT close() = 0;
};

// The header flags, kept the same way by every backend. A header is
// prepared before it is queued, is in a device's queue from queueing until
// its completion, and may be unprepared only while it is not queued.
inline bool isPrepared(const WAVEHDR* header) {
    return header->dwFlags & kWhdrPrepared;
}
inline void markPrepared(WAVEHDR* header) {
    header->dwFlags |= kWhdrPrepared;
}
// Refused (kWaverrStillPlaying) while the header is queued.
inline MMRESULT markUnprepared(WAVEHDR* header) {
    if (header->dwFlags & kWhdrInQueue) return kWaverrStillPlaying;
    header->dwFlags &= ~kWhdrPrepared;
    return kMmsyserrNoError;
}
// Refused (kWaverrUnprepared) for a header that was never prepared.
inline MMRESULT markQueued(WAVEHDR* header) {
    if (!isPrepared(header)) return kWaverrUnprepared;
    header->dwFlags = (header->dwFlags & ~kWhdrDone) | kWhdrInQueue;
    return kMmsyserrNoError;
}
inline void markDone(WAVEHDR* header) {
    header->dwFlags = (header->dwFlags & ~kWhdrInQueue) | kWhdrDone;
}
// Marks the header done and posts its completion (kMmWimData or kMmWomDone).
inline void postCompletion(Host& host, MessageTarget* target, uint32_t message, WAVEHDR* header) {
    markDone(header);
    host.postMessage(target, message, 0, reinterpret_cast<intptr_t>(header));
}

// The texts every backend gives for the common codes, so that reports read
// the same everywhere; a backend may know better texts for its own codes.
const char* standardWaveErrorText(MMRESULT code);
MMRESULT copyWaveErrorText(MMRESULT code, char* text, uint32_t size);

}  // namespace platform
