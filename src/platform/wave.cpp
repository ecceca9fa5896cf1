#include "platform/wave.h"

#include <cstring>

namespace platform {

const char* standardWaveErrorText(MMRESULT code) {
    switch (code) {
        case kMmsyserrNoError:
            return "The command completed successfully.";
        case kMmsyserrError:
            return "An unspecified error occurred.";
        case kMmsyserrBadDeviceId:
            return "The device identifier is out of range.";
        case kMmsyserrNotEnabled:
            return "The driver failed to enable.";
        case kMmsyserrAllocated:
            return "The device is already in use by another program.";
        case kMmsyserrInvalHandle:
            return "The device handle is invalid.";
        case kMmsyserrNoDriver:
            return "No device driver is present.";
        case kMmsyserrNoMem:
            return "Unable to allocate or lock memory.";
        case kMmsyserrInvalParam:
            return "An invalid parameter was passed.";
        case kWaverrBadFormat:
            return "The device does not support the requested audio format.";
        case kWaverrStillPlaying:
            return "The buffer is still in the queue.";
        case kWaverrUnprepared:
            return "The buffer is not prepared.";
        default:
            return "An unknown error occurred.";
    }
}

MMRESULT copyWaveErrorText(MMRESULT code, char* text, uint32_t size) {
    if (!text || size == 0) return kMmsyserrInvalParam;
    std::strncpy(text, standardWaveErrorText(code), size - 1);
    text[size - 1] = '\0';
    return kMmsyserrNoError;
}

}  // namespace platform
