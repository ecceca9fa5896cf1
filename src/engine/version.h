// The program's version as the About box and the mixer listing show it, and
// the suffix that marks simulated stereo output. The build reads the version
// from here too, so there is one to change.
#pragma once

#include <string>

namespace engine {

inline constexpr const char* kVersionText = "Version 1.3.3.6";
inline constexpr const char* kStereoSuffix = " - Simulated Stereo";

// Who holds the copyright and the licence, as every program's --version and
// the packages state them (LICENSE holds the licence's text).
inline constexpr const char* kCopyrightText = "Copyright (C) 2026 the Tarnix developers";
inline constexpr const char* kLicenceText =
    "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.";

// The version text, with the stereo suffix when the output is simulated stereo.
inline std::string versionText(bool stereo) {
    return std::string(kVersionText) + (stereo ? kStereoSuffix : "");
}

// What --version prints: "PROGRAM VERSION", the copyright and the licence.
inline std::string versionNotice(const std::string& programAndVersion) {
    return programAndVersion + "\n" + kCopyrightText + "\n" + kLicenceText;
}

}  // namespace engine
