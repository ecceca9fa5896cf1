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
// Words filled into lines of at most 79 characters, every line after the
// first indented by `indent`.
std::string wrapped(const std::string& text, size_t indent) {
    std::string out, line;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(at, end - at);
        if (!line.empty() && indent + line.size() + 1 + word.size() > 79) {
            out += line + "\n" + std::string(indent, ' ');
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        at = end + 1;
    }
    return out + line + "\n";
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
            const std::string error = engine::parseLatencyMode(value, line.latency);
            if (!error.empty()) fail("--latency: " + error);
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

std::string desktopHelp(const std::string& program, HelpLayout layout) {
    // The design's timing holds about seven blocks between input and output.
    const std::string design =
        milliseconds(7 * engine::blockLengthFor(11025), 11025) + " at 11025 Hz, " +
        milliseconds(7 * engine::blockLengthFor(44100), 44100) + " at 44100 Hz";
    const std::string low = std::to_string(engine::kStreamingLatency) + " samples after its input";
    const std::string lowTimes = milliseconds(engine::kStreamingLatency, 11025) + " at 11025 Hz, " +
                                 milliseconds(engine::kStreamingLatency, 44100) + " at 44100 Hz";
    const std::string usage = "Usage: " + program + " [--latency design|low]\n";
    if (layout == HelpLayout::MessageBox)
        // Paragraphs, which the box wraps itself.
        return usage +
               "\nTarnix, a real-time noise filter for receiver audio: the desktop program.\n\n"
               "--latency design (the default): the filtered sound is played after a cushion "
               "of about seven blocks, " +
               design +
               ".\n\n"
               "--latency low: each sample is played as soon as it is final, " +
               low + " (" + lowTimes +
               "), plus the sound card's own buffering.\n\n"
               "The samples are the same either way. --help shows this text, --version the "
               "version.";
    // One paragraph per option, wrapped under its description's column, so
    // that a man page made from this text reads the same.
    const std::string latency =
        "when the filtered sound is played (the samples are the same): "
        "\"design\" (the default) after a cushion of about seven "
        "blocks, " +
        design + "; \"low\" each sample as soon as it is final, " + low + ": " + lowTimes +
        ", plus the sound card's own buffering";
    return usage +
           "Tarnix, a real-time noise filter for receiver audio: the desktop program. It\n"
           "filters the default recording device into the default playback device; the\n"
           "sampling rate and simulated stereo are chosen in the start-up dialog, everything\n"
           "else in the window.\n"
           "\n"
           "Options:\n"
           "  --latency MODE  " +
           wrapped(latency, 18) +
           "  -h, --help      show this help and exit\n"
           "  --version       show the version and exit\n";
}

}  // namespace ui
