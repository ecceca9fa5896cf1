// The program's version as the About box and the mixer listing show it, and
// the suffix that marks simulated stereo output. The build reads the version
// from here too, so there is one to change.
#pragma once

#include <string>

namespace engine {

inline constexpr const char* kVersionText = "Version 1.3.3.6";
inline constexpr const char* kStereoSuffix = " - Simulated Stereo";

// The version text, with the stereo suffix when the output is simulated stereo.
inline std::string versionText(bool stereo) {
    return std::string(kVersionText) + (stereo ? kStereoSuffix : "");
}

}  // namespace engine
