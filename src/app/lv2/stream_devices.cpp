#include "app/lv2/stream_devices.h"

#include <algorithm>

namespace lv2_plugin {

using platform::MMRESULT;
using platform::MMSYSERR_NOERROR;
using platform::WAVEHDR;

namespace {

constexpr MMRESULT kNotOpen = platform::MMSYSERR_INVALHANDLE;

bool isPcm16(const platform::WAVEFORMATEX& f, uint16_t channels) {
    return f.wFormatTag == platform::WAVE_FORMAT_PCM && f.wBitsPerSample == 16 &&
           f.nChannels >= 1 && f.nChannels <= channels;
}

MMRESULT prepare(bool open, WAVEHDR* header) {
    if (!open) return kNotOpen;
    header->dwFlags |= platform::WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT unprepare(bool open, WAVEHDR* header) {
    if (!open) return kNotOpen;
    if (header->dwFlags & platform::WHDR_INQUEUE) return platform::WAVERR_STILLPLAYING;
    header->dwFlags &= ~platform::WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

void complete(MessageQueue& queue, platform::MessageTarget* target, uint32_t message,
              WAVEHDR* header) {
    header->dwFlags = (header->dwFlags & ~platform::WHDR_INQUEUE) | platform::WHDR_DONE;
    queue.post(target, message, header);
}

}  // namespace

// ---- messages and played values ----

void MessageQueue::post(platform::MessageTarget* target, uint32_t message, WAVEHDR* header) {
    if (count_ == kCapacity) return;  // cannot happen: each header is in flight once
    messages_[(head_ + count_) % kCapacity] = {target, message, header};
    ++count_;
}

void MessageQueue::deliver() {
    while (count_ > 0) {
        const Message m = messages_[head_];
        head_ = (head_ + 1) % kCapacity;
        --count_;
        m.target->handleMessage(m.message, 0, reinterpret_cast<intptr_t>(m.header));
    }
}

void SampleFifo::push(const int16_t* values, uint32_t count) {
    for (uint32_t i = 0; i < count && count_ < kCapacity; ++i, ++count_)
        values_[(head_ + count_) % kCapacity] = values[i];
}

void SampleFifo::pushZeros(uint32_t count) {
    for (uint32_t i = 0; i < count && count_ < kCapacity; ++i, ++count_)
        values_[(head_ + count_) % kCapacity] = 0;
}

int16_t SampleFifo::pop() {
    if (count_ == 0) return 0;
    const int16_t v = values_[head_];
    head_ = (head_ + 1) % kCapacity;
    --count_;
    return v;
}

// ---- capture ----

MMRESULT StreamWaveIn::open(const platform::WAVEFORMATEX& format,
                            platform::MessageTarget* callback) {
    if (open_) return platform::MMSYSERR_ALLOCATED;
    if (!isPcm16(format, 1)) return platform::WAVERR_BADFORMAT;
    open_ = true;
    started_ = false;
    target_ = callback;
    return MMSYSERR_NOERROR;
}

MMRESULT StreamWaveIn::prepareHeader(WAVEHDR* header) {
    return prepare(open_, header);
}

MMRESULT StreamWaveIn::addBuffer(WAVEHDR* header) {
    if (!open_) return kNotOpen;
    if (!(header->dwFlags & platform::WHDR_PREPARED)) return platform::WAVERR_UNPREPARED;
    if (count_ == engine::kBufferCount) return platform::MMSYSERR_NOMEM;
    header->dwFlags = (header->dwFlags & ~platform::WHDR_DONE) | platform::WHDR_INQUEUE;
    queued_[(head_ + count_) % engine::kBufferCount] = header;
    ++count_;
    return MMSYSERR_NOERROR;
}

MMRESULT StreamWaveIn::start() {
    if (!open_) return kNotOpen;
    started_ = true;
    return MMSYSERR_NOERROR;
}

MMRESULT StreamWaveIn::stop() {
    if (!open_) return kNotOpen;
    started_ = false;
    return MMSYSERR_NOERROR;
}

MMRESULT StreamWaveIn::reset() {
    if (!open_) return kNotOpen;
    started_ = false;
    for (; count_ > 0; --count_) {
        WAVEHDR* h = queued_[head_];
        head_ = (head_ + 1) % engine::kBufferCount;
        h->dwBytesRecorded = 0;
        complete(queue_, target_, platform::MM_WIM_DATA, h);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT StreamWaveIn::unprepareHeader(WAVEHDR* header) {
    return unprepare(open_, header);
}

MMRESULT StreamWaveIn::close() {
    if (!open_) return kNotOpen;
    if (count_ > 0) return platform::WAVERR_STILLPLAYING;
    open_ = false;
    return MMSYSERR_NOERROR;
}

MMRESULT StreamWaveIn::getErrorText(MMRESULT code, char* text, uint32_t size) {
    return platform::copyWaveErrorText(code, text, size);
}

bool StreamWaveIn::capture(const int16_t* samples, uint32_t count) {
    if (!open_ || !started_ || count_ == 0) return false;
    WAVEHDR* h = queued_[head_];
    head_ = (head_ + 1) % engine::kBufferCount;
    --count_;
    auto* data = reinterpret_cast<int16_t*>(h->lpData);
    const uint32_t capacity = h->dwBufferLength / 2;
    const uint32_t n = std::min(count, capacity);
    std::copy(samples, samples + n, data);
    std::fill(data + n, data + capacity, int16_t{0});
    h->dwBytesRecorded = h->dwBufferLength;
    complete(queue_, target_, platform::MM_WIM_DATA, h);
    return true;
}

// ---- playback ----

MMRESULT StreamWaveOut::open(const platform::WAVEFORMATEX& format,
                             platform::MessageTarget* callback) {
    if (open_) return platform::MMSYSERR_ALLOCATED;
    if (!isPcm16(format, 2)) return platform::WAVERR_BADFORMAT;
    open_ = true;
    target_ = callback;
    return MMSYSERR_NOERROR;
}

MMRESULT StreamWaveOut::prepareHeader(WAVEHDR* header) {
    return prepare(open_, header);
}

MMRESULT StreamWaveOut::write(WAVEHDR* header) {
    if (!open_) return kNotOpen;
    if (!(header->dwFlags & platform::WHDR_PREPARED)) return platform::WAVERR_UNPREPARED;
    fifo_.push(reinterpret_cast<const int16_t*>(header->lpData), header->dwBufferLength / 2);
    complete(queue_, target_, platform::MM_WOM_DONE, header);
    return MMSYSERR_NOERROR;
}

MMRESULT StreamWaveOut::pause() {
    return open_ ? MMSYSERR_NOERROR : kNotOpen;
}

MMRESULT StreamWaveOut::restart() {
    return open_ ? MMSYSERR_NOERROR : kNotOpen;
}

MMRESULT StreamWaveOut::reset() {
    return open_ ? MMSYSERR_NOERROR : kNotOpen;
}

MMRESULT StreamWaveOut::unprepareHeader(WAVEHDR* header) {
    return unprepare(open_, header);
}

MMRESULT StreamWaveOut::close() {
    if (!open_) return kNotOpen;
    open_ = false;
    return MMSYSERR_NOERROR;
}

MMRESULT StreamWaveOut::getErrorText(MMRESULT code, char* text, uint32_t size) {
    return platform::copyWaveErrorText(code, text, size);
}

}  // namespace lv2_plugin
