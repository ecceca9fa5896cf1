#include "platform/stream/stream_devices.h"

#include <algorithm>

namespace stream {

using platform::kMmsyserrNoError;
using platform::MMRESULT;
using platform::WAVEHDR;

namespace {

constexpr MMRESULT kNotOpen = platform::kMmsyserrInvalHandle;

bool isPcm16(const platform::WAVEFORMATEX& f, uint16_t channels) {
    return f.wFormatTag == platform::kWaveFormatPcm && f.wBitsPerSample == 16 && f.nChannels >= 1 &&
           f.nChannels <= channels;
}

MMRESULT prepare(bool open, WAVEHDR* header) {
    if (!open) return kNotOpen;
    platform::markPrepared(header);
    return kMmsyserrNoError;
}

MMRESULT unprepare(bool open, WAVEHDR* header) {
    return open ? platform::markUnprepared(header) : kNotOpen;
}

}  // namespace

// ---- played values ----

void SampleFifo::push(const int16_t* values, uint32_t count) {
    for (uint32_t i = 0; i < count && values_.push(values[i]); ++i) {
    }
}

void SampleFifo::pushZeros(uint32_t count) {
    for (uint32_t i = 0; i < count && values_.push(0); ++i) {
    }
}

int16_t SampleFifo::pop() {
    return values_.empty() ? int16_t{0} : values_.pop();
}

// ---- capture ----

MMRESULT StreamWaveIn::open(const platform::WAVEFORMATEX& format,
                            platform::MessageTarget* callback) {
    if (open_) return platform::kMmsyserrAllocated;
    if (!isPcm16(format, 1)) return platform::kWaverrBadFormat;
    open_ = true;
    started_ = false;
    target_ = callback;
    return kMmsyserrNoError;
}

MMRESULT StreamWaveIn::prepareHeader(WAVEHDR* header) {
    return prepare(open_, header);
}

MMRESULT StreamWaveIn::addBuffer(WAVEHDR* header) {
    if (!open_) return kNotOpen;
    if (!platform::isPrepared(header)) return platform::kWaverrUnprepared;
    if (queued_.full()) return platform::kMmsyserrNoMem;
    platform::markQueued(header);
    queued_.push(header);
    return kMmsyserrNoError;
}

MMRESULT StreamWaveIn::start() {
    if (!open_) return kNotOpen;
    started_ = true;
    return kMmsyserrNoError;
}

MMRESULT StreamWaveIn::stop() {
    if (!open_) return kNotOpen;
    started_ = false;
    return kMmsyserrNoError;
}

MMRESULT StreamWaveIn::reset() {
    if (!open_) return kNotOpen;
    started_ = false;
    while (!queued_.empty()) {
        WAVEHDR* h = queued_.pop();
        h->dwBytesRecorded = 0;
        platform::postCompletion(host_, target_, platform::kMmWimData, h);
    }
    return kMmsyserrNoError;
}

MMRESULT StreamWaveIn::unprepareHeader(WAVEHDR* header) {
    return unprepare(open_, header);
}

MMRESULT StreamWaveIn::close() {
    if (!open_) return kNotOpen;
    if (!queued_.empty()) return platform::kWaverrStillPlaying;
    open_ = false;
    return kMmsyserrNoError;
}

MMRESULT StreamWaveIn::getErrorText(MMRESULT code, char* text, uint32_t size) {
    return platform::copyWaveErrorText(code, text, size);
}

uint32_t StreamWaveIn::nextCapacity() const {
    if (!open_ || !started_ || queued_.empty()) return 0;
    return queued_.front()->dwBufferLength / 2;
}

bool StreamWaveIn::capture(const int16_t* samples, uint32_t count) {
    if (!open_ || !started_ || queued_.empty()) return false;
    WAVEHDR* h = queued_.pop();
    auto* data = reinterpret_cast<int16_t*>(h->lpData);
    const uint32_t capacity = h->dwBufferLength / 2;
    const uint32_t n = std::min(count, capacity);
    std::copy(samples, samples + n, data);
    std::fill(data + n, data + capacity, int16_t{0});
    h->dwBytesRecorded = h->dwBufferLength;
    platform::postCompletion(host_, target_, platform::kMmWimData, h);
    return true;
}

// ---- playback ----

MMRESULT StreamWaveOut::open(const platform::WAVEFORMATEX& format,
                             platform::MessageTarget* callback) {
    if (open_) return platform::kMmsyserrAllocated;
    if (!isPcm16(format, 2)) return platform::kWaverrBadFormat;
    open_ = true;
    target_ = callback;
    return kMmsyserrNoError;
}

MMRESULT StreamWaveOut::prepareHeader(WAVEHDR* header) {
    return prepare(open_, header);
}

MMRESULT StreamWaveOut::write(WAVEHDR* header) {
    if (!open_) return kNotOpen;
    if (!platform::isPrepared(header)) return platform::kWaverrUnprepared;
    fifo_.push(reinterpret_cast<const int16_t*>(header->lpData), header->dwBufferLength / 2);
    platform::postCompletion(host_, target_, platform::kMmWomDone, header);
    return kMmsyserrNoError;
}

MMRESULT StreamWaveOut::pause() {
    return open_ ? kMmsyserrNoError : kNotOpen;
}

MMRESULT StreamWaveOut::restart() {
    return open_ ? kMmsyserrNoError : kNotOpen;
}

MMRESULT StreamWaveOut::reset() {
    return open_ ? kMmsyserrNoError : kNotOpen;
}

MMRESULT StreamWaveOut::unprepareHeader(WAVEHDR* header) {
    return unprepare(open_, header);
}

MMRESULT StreamWaveOut::close() {
    if (!open_) return kNotOpen;
    open_ = false;
    return kMmsyserrNoError;
}

MMRESULT StreamWaveOut::getErrorText(MMRESULT code, char* text, uint32_t size) {
    return platform::copyWaveErrorText(code, text, size);
}

}  // namespace stream
