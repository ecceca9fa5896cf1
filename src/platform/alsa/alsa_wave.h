// Wave devices over ALSA PCM. Each device runs one thread that only moves
// samples between the PCM and the queued buffers and posts completions
// through the host; every ALSA call on an open PCM happens on that thread, and
// the core's calls only change the queue and the wanted state under the
// device's own lock. A device thread keeps working whatever loop the program
// runs (a console loop, a toolkit's), which is why it was chosen over driving
// the PCMs from the loop's own wait.
//
// Behaviour the seam leaves to the backend:
// - A capture device with no buffer queued reads nothing: a sound card then
//   overruns and the audio in between is lost (recovered and counted), so the
//   delay stays bounded; an unpaced source loses nothing.
// - A playback buffer is finished when its last frame has been played (the
//   PCM's own delay has passed it), not when it was handed to ALSA, so a pause
//   on a device that cannot pause keeps the unplayed rest queued.
// - Playback hands every queued buffer to ALSA at once, so a stall shorter
//   than the queue costs nothing (at low latency the queue is short, and a
//   longer stall costs a glitch).
// - Underruns and overruns are recovered and counted, never reported; what
//   they did to the end-to-end delay is given back by the capture device,
//   which drops or inserts frames (see delay_keeper.h).
// - Closing waits a bounded time for the device thread: one stuck inside
//   ALSA (a sound server's plugin whose server died) is left behind.
// - A device that fails for good (unplugged) finishes its oldest buffer, and
//   unpreparing that buffer returns the error; from then on it accepts calls
//   but moves nothing, so the core reports the failure once and shuts down.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/wave.h"

namespace alsa {

struct DeviceStats {
    std::atomic<uint64_t> xruns{0};   // underruns (playback) or overruns (capture)
    std::atomic<uint64_t> frames{0};  // frames captured into buffers, or played
    // Capture: times the delay was brought back after a loss, by frames
    // dropped or inserted.
    std::atomic<uint64_t> corrections{0};
};

// How the PCMs are set up. Design: periods of about 12 ms, and a playback
// ring that holds the pump's whole queue. Low: periods of about 6 ms and rings
// of 32 periods, for an engine that hands each output sample over as soon as
// it is final; playback holds back its first frames for a short cushion
// before it starts (at open and after an underrun), so that the output
// arriving hop by hop does not run dry between hops.
enum class Latency { Design, Low };

// pcm: an ALSA PCM name; "default" follows the desktop's sound server.
std::unique_ptr<platform::WaveIn> makeWaveIn(const std::string& pcm = "default",
                                             DeviceStats* stats = nullptr,
                                             Latency latency = Latency::Design);
std::unique_ptr<platform::WaveOut> makeWaveOut(const std::string& pcm = "default",
                                               DeviceStats* stats = nullptr,
                                               Latency latency = Latency::Design);

// ALSA errors (negative errno values) travel through the seam as codes of
// their own; their text is ALSA's.
platform::MMRESULT errorCode(int alsaError);
std::string errorText(platform::MMRESULT code);

// A device's own errors carry which device failed and when, so that the text
// says what a user can do about it, whichever device turns the code into
// text (the core asks the capture device for playback errors too):
//   cannot open the capture device "default": no sound server or card
//   answered (is PipeWire or PulseAudio running?)
//   the playback device "default" stopped: the sound server or the card went away
enum class Stage { Open, Running };
platform::MMRESULT deviceErrorCode(int alsaError, const std::string& pcm, bool playback,
                                   Stage stage);

// Keeps alsa-lib's own diagnostics off standard error (every factory does).
void quietAlsa();

// Opening a device (a PCM or the mixer) waits inside ALSA for at most ten
// seconds, on a thread of its own; after this call, made when the program
// is asked to end, every open waiting now or later gives up at once (the
// PCM's with EINTR), so that the shutdown can run.
void abandonOpening();

}  // namespace alsa
