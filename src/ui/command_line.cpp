#include "ui/command_line.h"

#include <cstdio>

namespace ui {

namespace {
constexpr char kLatencyOption[] = "--latency";

// The figure of a timing at a rate, in whole milliseconds.
std::string milliseconds(uint32_t samples, int32_t rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f ms", 1000.0 * samples / rate);
    return text;
}
}  // namespace

DesktopCommandLine parseDesktopCommandLine(int argc, const char* const* argv) {
    DesktopCommandLine line;
    // Every argument is looked at, so that --help answers even after a
    // mistake; the first mistake is the one reported.
    auto fail = [&line](const std::string& why) {
        if (line.error.empty()) line.error = why;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string value;
        bool latency = false;
        if (arg == kLatencyOption) {
            if (i + 1 >= argc) {
                fail("--latency needs a value: design or low");
                break;
            }
            value = argv[++i];
            latency = true;
        } else if (arg.rfind(std::string(kLatencyOption) + "=", 0) == 0) {
            value = arg.substr(sizeof kLatencyOption);
            latency = true;
        }
        if (latency) {
            if (value == "low")
                line.latency = engine::LatencyMode::Low;
            else if (value == "design")
                line.latency = engine::LatencyMode::Design;
            else
                fail("--latency: '" + value + "' is not one of design, low");
        } else if (arg == "--help" || arg == "-h") {
            line.help = true;
        } else if (arg == "--version") {
            line.version = true;
        } else {
            if (line.error.empty()) line.unknownArgument = true;
            fail("unknown argument '" + arg + "' (--help lists the options)");
        }
    }
    return line;
}

std::string desktopHelp(const std::string& program) {
    // The design's timing holds about seven blocks between input and output.
    const uint32_t designLow = 7 * engine::blockLengthFor(11025);
    const uint32_t designHigh = 7 * engine::blockLengthFor(44100);
    return "Usage: " + program +
           " [--latency design|low]\n"
           "Tarnix, a real-time noise filter for receiver audio: the desktop program. It\n"
           "filters the default recording device into the default playback device; the\n"
           "sampling rate and simulated stereo are chosen in the start-up dialog, everything\n"
           "else in the window.\n"
           "\n"
           "Options:\n"
           "  --latency MODE  when the filtered sound is played; the samples are the same:\n"
           "                    design  (the default) a cushion of about seven blocks,\n"
           "                            " +
           milliseconds(designLow, 11025) + " at 11025 Hz, " + milliseconds(designHigh, 44100) +
           " at 44100 Hz\n"
           "                    low     each sample as soon as it is final, " +
           std::to_string(engine::kStreamingLatency) +
           " samples\n"
           "                            after its input: " +
           milliseconds(engine::kStreamingLatency, 11025) + " at 11025 Hz, " +
           milliseconds(engine::kStreamingLatency, 44100) +
           " at 44100 Hz,\n"
           "                            and the sound card's own buffering\n"
           "  -h, --help      show this help and exit\n"
           "  --version       show the version and exit\n";
}

}  // namespace ui
