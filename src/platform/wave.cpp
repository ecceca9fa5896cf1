#include "platform/wave.h"

#include <cstring>

namespace platform {

const char* standardWaveErrorText(MMRESULT code) {
    switch (code) {
        case MMSYSERR_NOERROR:
            return "The command completed successfully.";
        case MMSYSERR_ERROR:
            return "An unspecified error occurred.";
        case MMSYSERR_BADDEVICEID:
            return "The device identifier is out of range.";
        case MMSYSERR_NOTENABLED:
            return "The driver failed to enable.";
        case MMSYSERR_ALLOCATED:
            return "The device is already in use by another program.";
        case MMSYSERR_INVALHANDLE:
            return "The device handle is invalid.";
        case MMSYSERR_NODRIVER:
            return "No device driver is present.";
        case MMSYSERR_NOMEM:
            return "Unable to allocate or lock memory.";
        case MMSYSERR_INVALPARAM:
            return "An invalid parameter was passed.";
        case WAVERR_BADFORMAT:
            return "The device does not support the requested audio format.";
        case WAVERR_STILLPLAYING:
            return "The buffer is still in the queue.";
        case WAVERR_UNPREPARED:
            return "The buffer is not prepared.";
        default:
            return "An unknown error occurred.";
    }
}

MMRESULT copyWaveErrorText(MMRESULT code, char* text, uint32_t size) {
    if (!text || size == 0) return MMSYSERR_INVALPARAM;
    std::strncpy(text, standardWaveErrorText(code), size - 1);
    text[size - 1] = '\0';
    return MMSYSERR_NOERROR;
}

}  // namespace platform
