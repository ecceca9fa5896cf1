// Waveform audio: each call is the winmm call of the same name on the default
// device, completions posted by winmm itself to the target's window.
#include <windows.h>

#include <mmsystem.h>

#include <cstddef>
#include <mutex>

#include "platform/wave_watch.h"
#include "platform/win32/win32_platform.h"

namespace platform::win32 {
namespace {

// The seam's header is the platform's record, field for field, so the core's
// headers go to winmm as they are and come back in its messages unchanged.
static_assert(sizeof(platform::WAVEHDR) == sizeof(::WAVEHDR));
static_assert(offsetof(platform::WAVEHDR, lpData) == offsetof(::WAVEHDR, lpData));
static_assert(offsetof(platform::WAVEHDR, dwBufferLength) == offsetof(::WAVEHDR, dwBufferLength));
static_assert(offsetof(platform::WAVEHDR, dwBytesRecorded) == offsetof(::WAVEHDR, dwBytesRecorded));
static_assert(offsetof(platform::WAVEHDR, dwUser) == offsetof(::WAVEHDR, dwUser));
static_assert(offsetof(platform::WAVEHDR, dwFlags) == offsetof(::WAVEHDR, dwFlags));
static_assert(offsetof(platform::WAVEHDR, dwLoops) == offsetof(::WAVEHDR, dwLoops));
static_assert(offsetof(platform::WAVEHDR, lpNext) == offsetof(::WAVEHDR, lpNext));
static_assert(offsetof(platform::WAVEHDR, reserved) == offsetof(::WAVEHDR, reserved));
static_assert(kWhdrDone == WHDR_DONE && kWhdrPrepared == WHDR_PREPARED &&
              kWhdrInQueue == WHDR_INQUEUE && kWaveFormatPcm == WAVE_FORMAT_PCM);
static_assert(kMmWimData == MM_WIM_DATA && kMmWomDone == MM_WOM_DONE);
static_assert(kCallbackWindow == CALLBACK_WINDOW);

::WAVEHDR* native(platform::WAVEHDR* header) {
    return reinterpret_cast<::WAVEHDR*>(header);
}

::WAVEFORMATEX native(const platform::WAVEFORMATEX& f) {
    ::WAVEFORMATEX w{};
    w.wFormatTag = f.wFormatTag;
    w.nChannels = f.nChannels;
    w.nSamplesPerSec = f.nSamplesPerSec;
    w.nAvgBytesPerSec = f.nAvgBytesPerSec;
    w.nBlockAlign = f.nBlockAlign;
    w.wBitsPerSample = f.wBitsPerSample;
    w.cbSize = f.cbSize;
    return w;
}

DWORD_PTR callbackWindow(MessageTarget* target) {
    return reinterpret_cast<DWORD_PTR>(windowFor(target));
}

class Win32WaveIn final : public WaveIn {
  public:
    MMRESULT open(const platform::WAVEFORMATEX& format, MessageTarget* callback) override {
        const ::WAVEFORMATEX f = native(format);
        return waveInOpen(&h_, WAVE_MAPPER, &f, callbackWindow(callback), 0, CALLBACK_WINDOW);
    }
    MMRESULT prepareHeader(platform::WAVEHDR* h) override {
        return waveInPrepareHeader(h_, native(h), sizeof(::WAVEHDR));
    }
    MMRESULT addBuffer(platform::WAVEHDR* h) override {
        return waveInAddBuffer(h_, native(h), sizeof(::WAVEHDR));
    }
    MMRESULT start() override { return waveInStart(h_); }
    MMRESULT stop() override { return waveInStop(h_); }
    MMRESULT reset() override { return waveInReset(h_); }
    MMRESULT unprepareHeader(platform::WAVEHDR* h) override {
        return waveInUnprepareHeader(h_, native(h), sizeof(::WAVEHDR));
    }
    MMRESULT close() override {
        const MMRESULT rc = waveInClose(h_);
        if (rc == MMSYSERR_NOERROR) h_ = nullptr;
        return rc;
    }
    MMRESULT getErrorText(MMRESULT code, char* text, uint32_t size) override {
        return waveInGetErrorTextA(code, text, size);
    }

  private:
    HWAVEIN h_ = nullptr;
};

class Win32WaveOut final : public WaveOut {
  public:
    MMRESULT open(const platform::WAVEFORMATEX& format, MessageTarget* callback) override {
        const ::WAVEFORMATEX f = native(format);
        return waveOutOpen(&h_, WAVE_MAPPER, &f, callbackWindow(callback), 0, CALLBACK_WINDOW);
    }
    MMRESULT prepareHeader(platform::WAVEHDR* h) override {
        return waveOutPrepareHeader(h_, native(h), sizeof(::WAVEHDR));
    }
    MMRESULT write(platform::WAVEHDR* h) override {
        return waveOutWrite(h_, native(h), sizeof(::WAVEHDR));
    }
    MMRESULT pause() override { return waveOutPause(h_); }
    MMRESULT restart() override { return waveOutRestart(h_); }
    MMRESULT reset() override { return waveOutReset(h_); }
    MMRESULT unprepareHeader(platform::WAVEHDR* h) override {
        return waveOutUnprepareHeader(h_, native(h), sizeof(::WAVEHDR));
    }
    MMRESULT close() override {
        const MMRESULT rc = waveOutClose(h_);
        if (rc == MMSYSERR_NOERROR) h_ = nullptr;
        return rc;
    }
    MMRESULT getErrorText(MMRESULT code, char* text, uint32_t size) override {
        return waveOutGetErrorTextA(code, text, size);
    }

  private:
    HWAVEOUT h_ = nullptr;
};

// A device whose sound service died, or a USB adapter pulled out, only
// stops returning buffers: both devices share one watch, which reports the
// first that does once. It runs while a device exists.
std::shared_ptr<WaveWatch> sharedWatch() {
    static std::mutex lock;
    static std::weak_ptr<WaveWatch> current;
    std::lock_guard guard(lock);
    std::shared_ptr<WaveWatch> watch = current.lock();
    if (!watch) {
        watch = std::make_shared<WaveWatch>();
        current = watch;
    }
    return watch;
}

}  // namespace

std::unique_ptr<WaveIn> makeWaveIn() {
    return watchWaveIn(sharedWatch(), std::make_unique<Win32WaveIn>());
}
std::unique_ptr<WaveOut> makeWaveOut() {
    return watchWaveOut(sharedWatch(), std::make_unique<Win32WaveOut>());
}

}  // namespace platform::win32
