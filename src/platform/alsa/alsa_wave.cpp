// What both wave directions share outside the device: ALSA's error codes and
// texts, and quieting alsa-lib's own diagnostics.
#include "platform/alsa/alsa_wave.h"

#include <alsa/asoundlib.h>

#include "platform/alsa/bounded_open.h"

namespace alsa {

using platform::MMRESULT;

namespace {
// Above every code the seam defines; the low bits hold the errno value.
constexpr MMRESULT kAlsaErrorBase = 0x40000000;
}  // namespace

MMRESULT errorCode(int alsaError) {
    return kAlsaErrorBase + static_cast<MMRESULT>(alsaError < 0 ? -alsaError : alsaError);
}

std::string errorText(MMRESULT code) {
    if (code >= kAlsaErrorBase) return snd_strerror(-static_cast<int>(code - kAlsaErrorBase));
    return platform::standardWaveErrorText(code);
}

namespace {
void ignoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}
}  // namespace

void quietAlsa() {
    // Failures reach the user as the program's own messages, with ALSA's text;
    // the library's diagnostics on standard error would only repeat them.
    snd_lib_error_set_handler(ignoreAlsaMessage);
}

namespace detail {
std::atomic<bool>& openingAbandoned() {
    static std::atomic<bool> abandoned{false};
    return abandoned;
}
}  // namespace detail

void abandonOpening() {
    detail::openingAbandoned() = true;
}

}  // namespace alsa
