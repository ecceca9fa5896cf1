// What both wave directions share outside the device: ALSA's error codes and
// texts, and quieting alsa-lib's own diagnostics.
#include "platform/alsa/alsa_wave.h"

#include <alsa/asoundlib.h>

#include <array>
#include <cerrno>
#include <mutex>

#include "platform/alsa/bounded_open.h"

namespace alsa {

using platform::MMRESULT;

namespace {
// Above every code the seam defines; the low bits hold the errno value, the
// bits above them the device's tag.
constexpr MMRESULT kAlsaErrorBase = 0x40000000;
constexpr MMRESULT kErrnoMask = 0xFFFF;
constexpr MMRESULT kPlaybackBit = 0x10000;
constexpr MMRESULT kRunningBit = 0x20000;
constexpr unsigned kNameShift = 18;
constexpr MMRESULT kNameMask = 0xFF;

// The PCM names seen in errors, numbered from 1 in the codes. A program opens
// a handful; a name past the table's end is left out of the text.
constexpr size_t kNames = 32;
std::mutex namesLock;
std::array<std::string, kNames> names;

MMRESULT nameNumber(const std::string& pcm) {
    std::lock_guard lock(namesLock);
    for (size_t i = 0; i < kNames; ++i) {
        if (names[i].empty()) names[i] = pcm;
        if (names[i] == pcm) return static_cast<MMRESULT>(i + 1);
    }
    return 0;
}

std::string nameOf(MMRESULT number) {
    std::lock_guard lock(namesLock);
    if (number == 0 || number > kNames) return {};
    return names[number - 1];
}

// What an open fails with when nothing is there to answer it: no card, or a
// sound server's plugin with no server behind it.
bool nothingAnswered(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ECONNREFUSED:
        case ECONNRESET:
        case ENOTCONN:
        case EHOSTDOWN:
        case ETIMEDOUT:
            return true;
        default:
            return false;
    }
}
// Whether ALSA's configuration has a PCM of this name ("hw:1,0" by its
// "hw"): a name it does not know fails to open just as a server that is not
// running does, but calls for another name, not for a server.
bool pcmNamed(const std::string& name) {
    snd_config_t* top = nullptr;
    if (snd_config_update_ref(&top) < 0) return true;
    snd_config_t* node = nullptr;
    const int found =
        snd_config_search(top, ("pcm." + name.substr(0, name.find(':'))).c_str(), &node);
    snd_config_unref(top);
    return found >= 0;
}
}  // namespace

MMRESULT errorCode(int alsaError) {
    return kAlsaErrorBase +
           (static_cast<MMRESULT>(alsaError < 0 ? -alsaError : alsaError) & kErrnoMask);
}

MMRESULT deviceErrorCode(int alsaError, const std::string& pcm, bool playback, Stage stage) {
    return errorCode(alsaError) | (playback ? kPlaybackBit : 0) |
           (stage == Stage::Running ? kRunningBit : 0) | (nameNumber(pcm) << kNameShift);
}

std::string errorText(MMRESULT code) {
    if (code < kAlsaErrorBase) return platform::standardWaveErrorText(code);
    const int error = static_cast<int>(code & kErrnoMask);
    const MMRESULT tag = code - kAlsaErrorBase - static_cast<MMRESULT>(error);
    if (tag == 0) return snd_strerror(-error);
    const std::string name = nameOf((tag >> kNameShift) & kNameMask);
    std::string device = (tag & kPlaybackBit) ? "the playback device" : "the capture device";
    if (!name.empty()) device += " \"" + name + "\"";
    if (tag & kRunningBit) return device + " stopped: the sound server or the card went away";
    if (error == ENOENT && !name.empty() && !pcmNamed(name))
        return "cannot open " + device +
               ": ALSA knows no device of that name (aplay -L lists them)";
    return "cannot open " + device + ": " +
           (nothingAnswered(error)
                ? std::string(
                      "no sound server or card answered (is PipeWire or PulseAudio running?)")
            : error == EBUSY ? std::string("another program holds it")
                             : std::string(snd_strerror(-error)));
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
