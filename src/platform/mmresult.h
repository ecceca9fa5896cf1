// Result codes shared by the wave and mixer seams, with the platform's
// published values so that reports read the same on every platform.
#pragma once

#include <cstdint>

namespace platform {

using MMRESULT = uint32_t;

inline constexpr MMRESULT kMmsyserrNoError = 0;
inline constexpr MMRESULT kMmsyserrError = 1;
inline constexpr MMRESULT kMmsyserrBadDeviceId = 2;
inline constexpr MMRESULT kMmsyserrNotEnabled = 3;
inline constexpr MMRESULT kMmsyserrAllocated = 4;
inline constexpr MMRESULT kMmsyserrInvalHandle = 5;
inline constexpr MMRESULT kMmsyserrNoDriver = 6;
inline constexpr MMRESULT kMmsyserrNoMem = 7;
inline constexpr MMRESULT kMmsyserrInvalFlag = 10;
inline constexpr MMRESULT kMmsyserrInvalParam = 11;

}  // namespace platform
