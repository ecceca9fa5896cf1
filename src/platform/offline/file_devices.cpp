#include "platform/offline/file_devices.h"

#include <algorithm>

namespace offline {

using platform::kMmsyserrNoError;
using platform::MMRESULT;
using platform::WAVEHDR;

namespace {

constexpr MMRESULT kNotOpen = platform::kMmsyserrInvalHandle;

bool isPcm16(const platform::WAVEFORMATEX& f, uint16_t mostChannels) {
    return f.wFormatTag == platform::kWaveFormatPcm && f.wBitsPerSample == 16 && f.nChannels >= 1 &&
           f.nChannels <= mostChannels;
}

void post(platform::MessageTarget* target, uint32_t message, WAVEHDR* header) {
    platform::postCompletion(platform::host(), target, message, header);
}

MMRESULT prepare(bool open, WAVEHDR* header) {
    if (!open) return kNotOpen;
    platform::markPrepared(header);
    return kMmsyserrNoError;
}

MMRESULT enqueue(bool open, std::deque<WAVEHDR*>& queue, WAVEHDR* header) {
    if (!open) return kNotOpen;
    const MMRESULT rc = platform::markQueued(header);
    if (rc == kMmsyserrNoError) queue.push_back(header);
    return rc;
}

MMRESULT close(bool& open, const std::deque<WAVEHDR*>& queue) {
    if (!open) return kNotOpen;
    if (!queue.empty()) return platform::kWaverrStillPlaying;
    open = false;
    return kMmsyserrNoError;
}

}  // namespace

// ---- capture ----

MMRESULT FileWaveIn::open(const platform::WAVEFORMATEX& format, platform::MessageTarget* callback) {
    if (open_) return platform::kMmsyserrAllocated;
    if (!isPcm16(format, 1)) return platform::kWaverrBadFormat;
    open_ = true;
    started_ = false;
    target_ = callback;
    return kMmsyserrNoError;
}

MMRESULT FileWaveIn::prepareHeader(WAVEHDR* header) {
    return prepare(open_, header);
}

MMRESULT FileWaveIn::addBuffer(WAVEHDR* header) {
    const MMRESULT rc = enqueue(open_, queue_, header);
    if (rc == kMmsyserrNoError && pacing_ == Pacing::ReadAhead)
        while (fillOldest()) {
        }
    return rc;
}

MMRESULT FileWaveIn::start() {
    if (!open_) return kNotOpen;
    started_ = true;
    if (pacing_ == Pacing::ReadAhead)
        while (fillOldest()) {
        }
    return kMmsyserrNoError;
}

MMRESULT FileWaveIn::stop() {
    if (!open_) return kNotOpen;
    started_ = false;
    return kMmsyserrNoError;
}

MMRESULT FileWaveIn::reset() {
    if (!open_) return kNotOpen;
    started_ = false;
    while (!queue_.empty()) {
        WAVEHDR* h = queue_.front();
        queue_.pop_front();
        h->dwBytesRecorded = 0;
        post(target_, platform::kMmWimData, h);
    }
    return kMmsyserrNoError;
}

MMRESULT FileWaveIn::unprepareHeader(WAVEHDR* header) {
    return open_ ? platform::markUnprepared(header) : kNotOpen;
}

MMRESULT FileWaveIn::close() {
    return offline::close(open_, queue_);
}

MMRESULT FileWaveIn::getErrorText(MMRESULT code, char* text, uint32_t size) {
    return platform::copyWaveErrorText(code, text, size);
}

bool FileWaveIn::deliverNext() {
    return pacing_ == Pacing::OnRequest && fillOldest();
}

// Reads a buffer's length of samples (fewer at the end of the source, the
// rest zeros) into the oldest queued buffer and completes it; false when
// capture is stopped, nothing is queued or the source has ended.
bool FileWaveIn::fillOldest() {
    if (!open_ || !started_ || exhausted_ || queue_.empty()) return false;
    WAVEHDR* h = queue_.front();
    const size_t capacity = h->dwBufferLength / 2;
    if (scratch_.size() < capacity) scratch_.resize(capacity);
    size_t got = 0;
    while (got < capacity) {
        const size_t n = source_.read(scratch_.data() + got, capacity - got);
        if (n == 0) break;
        got += n;
    }
    if (got == 0) {
        exhausted_ = true;
        return false;
    }
    queue_.pop_front();
    auto* data = reinterpret_cast<int16_t*>(h->lpData);
    std::copy(scratch_.data(), scratch_.data() + got, data);
    std::fill(data + got, data + capacity, int16_t{0});
    h->dwBytesRecorded = h->dwBufferLength;
    post(target_, platform::kMmWimData, h);
    return true;
}

// ---- playback ----

MMRESULT FileWaveOut::open(const platform::WAVEFORMATEX& format,
                           platform::MessageTarget* callback) {
    if (open_) return platform::kMmsyserrAllocated;
    if (!isPcm16(format, 2)) return platform::kWaverrBadFormat;
    open_ = true;
    paused_ = false;
    target_ = callback;
    return kMmsyserrNoError;
}

MMRESULT FileWaveOut::prepareHeader(WAVEHDR* header) {
    return prepare(open_, header);
}

MMRESULT FileWaveOut::write(WAVEHDR* header) {
    const MMRESULT rc = enqueue(open_, queue_, header);
    if (rc == kMmsyserrNoError) playQueued();
    return rc;
}

MMRESULT FileWaveOut::pause() {
    if (!open_) return kNotOpen;
    paused_ = true;
    return kMmsyserrNoError;
}

MMRESULT FileWaveOut::restart() {
    if (!open_) return kNotOpen;
    paused_ = false;
    playQueued();
    return kMmsyserrNoError;
}

MMRESULT FileWaveOut::reset() {
    if (!open_) return kNotOpen;
    while (!queue_.empty()) {
        WAVEHDR* h = queue_.front();
        queue_.pop_front();
        post(target_, platform::kMmWomDone, h);
    }
    return kMmsyserrNoError;
}

MMRESULT FileWaveOut::unprepareHeader(WAVEHDR* header) {
    return open_ ? platform::markUnprepared(header) : kNotOpen;
}

MMRESULT FileWaveOut::close() {
    return offline::close(open_, queue_);
}

MMRESULT FileWaveOut::getErrorText(MMRESULT code, char* text, uint32_t size) {
    return platform::copyWaveErrorText(code, text, size);
}

size_t FileWaveOut::drain() {
    const bool wasPaused = paused_;
    paused_ = false;
    const size_t n = playQueued();
    paused_ = wasPaused;
    return n;
}

// Plays every queued buffer, in order, unless paused.
size_t FileWaveOut::playQueued() {
    size_t n = 0;
    while (open_ && !paused_ && !queue_.empty()) {
        WAVEHDR* h = queue_.front();
        queue_.pop_front();
        sink_.write(reinterpret_cast<const int16_t*>(h->lpData), h->dwBufferLength / 2);
        post(target_, platform::kMmWomDone, h);
        ++n;
    }
    return n;
}

}  // namespace offline
