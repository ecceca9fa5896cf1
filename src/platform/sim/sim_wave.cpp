#include "platform/sim/sim_wave.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sim {

using platform::kMmsyserrNoError;
using platform::MMRESULT;
using platform::WAVEHDR;

void FaultPlan::fail(WaveCall call, MMRESULT code, int skip, int times) {
    rules_[call] = {code, skip, times};
}

MMRESULT FaultPlan::check(WaveCall call) {
    ++counts_[call];
    auto it = rules_.find(call);
    if (it == rules_.end()) return kMmsyserrNoError;
    Rule& rule = it->second;
    if (rule.skip > 0) {
        --rule.skip;
        return kMmsyserrNoError;
    }
    if (rule.times == 0) return kMmsyserrNoError;
    if (rule.times > 0) --rule.times;
    return rule.code;
}

int FaultPlan::calls(WaveCall call) const {
    auto it = counts_.find(call);
    return it == counts_.end() ? 0 : it->second;
}

namespace {
constexpr MMRESULT kNotOpen = platform::kMmsyserrInvalHandle;

void post(platform::MessageTarget* target, uint32_t message, WAVEHDR* header) {
    platform::postCompletion(platform::host(), target, message, header);
}

MMRESULT prepare(WAVEHDR* header) {
    platform::markPrepared(header);
    return kMmsyserrNoError;
}

MMRESULT enqueue(std::deque<WAVEHDR*>& queue, WAVEHDR* header) {
    const MMRESULT rc = platform::markQueued(header);
    if (rc == kMmsyserrNoError) queue.push_back(header);
    return rc;
}
}  // namespace

// ---- capture ----

MMRESULT ScriptedWaveIn::open(const platform::WAVEFORMATEX& format,
                              platform::MessageTarget* callback) {
    if (MMRESULT rc = faults.check(WaveCall::Open)) return rc;
    if (open_) return platform::kMmsyserrAllocated;
    if (format.wFormatTag != platform::kWaveFormatPcm || format.wBitsPerSample != 16 ||
        format.nChannels != 1)
        return platform::kWaverrBadFormat;
    open_ = true;
    started_ = false;
    format_ = format;
    target_ = callback;
    return kMmsyserrNoError;
}

MMRESULT ScriptedWaveIn::prepareHeader(WAVEHDR* header) {
    if (MMRESULT rc = faults.check(WaveCall::PrepareHeader)) return rc;
    return open_ ? prepare(header) : kNotOpen;
}

MMRESULT ScriptedWaveIn::addBuffer(WAVEHDR* header) {
    if (MMRESULT rc = faults.check(WaveCall::AddBuffer)) return rc;
    return open_ ? enqueue(queue_, header) : kNotOpen;
}

MMRESULT ScriptedWaveIn::start() {
    if (MMRESULT rc = faults.check(WaveCall::Start)) return rc;
    if (!open_) return kNotOpen;
    started_ = true;
    return kMmsyserrNoError;
}

MMRESULT ScriptedWaveIn::stop() {
    if (MMRESULT rc = faults.check(WaveCall::Stop)) return rc;
    if (!open_) return kNotOpen;
    started_ = false;
    return kMmsyserrNoError;
}

MMRESULT ScriptedWaveIn::reset() {
    if (MMRESULT rc = faults.check(WaveCall::Reset)) return rc;
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

MMRESULT ScriptedWaveIn::unprepareHeader(WAVEHDR* header) {
    if (MMRESULT rc = faults.check(WaveCall::UnprepareHeader)) return rc;
    return open_ ? platform::markUnprepared(header) : kNotOpen;
}

MMRESULT ScriptedWaveIn::close() {
    if (MMRESULT rc = faults.check(WaveCall::Close)) return rc;
    if (!open_) return kNotOpen;
    if (!queue_.empty()) return platform::kWaverrStillPlaying;
    open_ = false;
    return kMmsyserrNoError;
}

MMRESULT ScriptedWaveIn::getErrorText(MMRESULT code, char* text, uint32_t size) {
    return platform::copyWaveErrorText(code, text, size);
}

bool ScriptedWaveIn::fill(const int16_t* samples, size_t count) {
    if (!open_ || !started_ || queue_.empty()) return false;
    WAVEHDR* h = queue_.front();
    queue_.pop_front();
    auto* data = reinterpret_cast<int16_t*>(h->lpData);
    const size_t capacity = h->dwBufferLength / 2;
    const size_t n = std::min(count, capacity);
    const double g = gain ? gain() : 1.0;
    for (size_t i = 0; i < n; ++i) {
        if (g == 1.0) {
            data[i] = samples[i];
        } else {
            const double v = std::round(samples[i] * g);
            data[i] = static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
        }
    }
    std::fill(data + n, data + capacity, int16_t{0});
    h->dwBytesRecorded = h->dwBufferLength;
    ++filled;
    post(target_, platform::kMmWimData, h);
    return true;
}

// ---- playback ----

MMRESULT ScriptedWaveOut::open(const platform::WAVEFORMATEX& format,
                               platform::MessageTarget* callback) {
    if (MMRESULT rc = faults.check(WaveCall::Open)) return rc;
    if (open_) return platform::kMmsyserrAllocated;
    if (format.wFormatTag != platform::kWaveFormatPcm || format.wBitsPerSample != 16 ||
        format.nChannels < 1 || format.nChannels > 2)
        return platform::kWaverrBadFormat;
    open_ = true;
    paused_ = false;
    format_ = format;
    target_ = callback;
    return kMmsyserrNoError;
}

MMRESULT ScriptedWaveOut::prepareHeader(WAVEHDR* header) {
    if (MMRESULT rc = faults.check(WaveCall::PrepareHeader)) return rc;
    return open_ ? prepare(header) : kNotOpen;
}

MMRESULT ScriptedWaveOut::write(WAVEHDR* header) {
    if (MMRESULT rc = faults.check(WaveCall::AddBuffer)) return rc;
    if (!open_) return kNotOpen;
    const MMRESULT rc = enqueue(queue_, header);
    maxQueued_ = std::max(maxQueued_, queue_.size());
    return rc;
}

MMRESULT ScriptedWaveOut::pause() {
    if (MMRESULT rc = faults.check(WaveCall::Pause)) return rc;
    if (!open_) return kNotOpen;
    ++pauses;
    paused_ = true;
    return kMmsyserrNoError;
}

MMRESULT ScriptedWaveOut::restart() {
    if (MMRESULT rc = faults.check(WaveCall::Restart)) return rc;
    if (!open_) return kNotOpen;
    ++restarts;
    paused_ = false;
    return kMmsyserrNoError;
}

MMRESULT ScriptedWaveOut::reset() {
    if (MMRESULT rc = faults.check(WaveCall::Reset)) return rc;
    if (!open_) return kNotOpen;
    ++resets;
    while (!queue_.empty()) {
        WAVEHDR* h = queue_.front();
        queue_.pop_front();
        post(target_, platform::kMmWomDone, h);
    }
    return kMmsyserrNoError;
}

MMRESULT ScriptedWaveOut::unprepareHeader(WAVEHDR* header) {
    if (MMRESULT rc = faults.check(WaveCall::UnprepareHeader)) return rc;
    return open_ ? platform::markUnprepared(header) : kNotOpen;
}

MMRESULT ScriptedWaveOut::close() {
    if (MMRESULT rc = faults.check(WaveCall::Close)) return rc;
    if (!open_) return kNotOpen;
    if (!queue_.empty()) return platform::kWaverrStillPlaying;
    open_ = false;
    return kMmsyserrNoError;
}

MMRESULT ScriptedWaveOut::getErrorText(MMRESULT code, char* text, uint32_t size) {
    return platform::copyWaveErrorText(code, text, size);
}

bool ScriptedWaveOut::finishNext() {
    if (!open_ || paused_ || queue_.empty()) return false;
    WAVEHDR* h = queue_.front();
    queue_.pop_front();
    order.push_back(h->dwUser);
    const auto* values = reinterpret_cast<const int16_t*>(h->lpData);
    played.insert(played.end(), values, values + h->dwBufferLength / 2);
    post(target_, platform::kMmWomDone, h);
    return true;
}

size_t ScriptedWaveOut::finishAll() {
    size_t n = 0;
    while (finishNext())
        ++n;
    return n;
}

}  // namespace sim
