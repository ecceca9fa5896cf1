// tarnix-snapshot: the desktop program's main window without a window. It
// runs the engine on an audio file through the same controller and message
// loop as the desktop program, on the offline platform, for as long as asked, and writes what
// the spectrum view paints at that moment to a PNG (or PPM) image.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/cli/audio_files.h"
#include "app/cli/numbers.h"
#include "app/cli/output_target.h"
#include "app/cli/signals.h"
#include "app/headless/recording_view.h"
#include "app/snapshot/image_canvas.h"
#include "engine/audio_engine.h"
#include "engine/version.h"
#include "mixer/level_controls.h"
#include "platform/offline/file_devices.h"
#include "platform/offline/offline_host.h"
#include "platform/sim/sim_mixer.h"
#include "platform/system.h"
#include "ui/command_table.h"
#include "ui/dialog_templates.h"
#include "ui/main_window.h"
#include "ui/window_messages.h"

namespace {

// Enough audio for any picture; beyond it a run would only pass silence.
constexpr double kMostSeconds = 86400;

struct Options {
    std::string input, output, mixer;
    double seconds = 10.0;
    int width = 800, height = 400;
    bool stereo = false, peaks = false, minimum = false;
    std::vector<int> select;  // two columns
};

// Discards what the sound card plays.
class NullSink final : public offline::SampleSink {
  public:
    void write(const int16_t*, size_t) override {}
};

int rateButton(int rate) {
    switch (rate) {
        case 8000:
            return ui::kIdRate8000;
        case 11025:
            return ui::kIdRate11025;
        case 22050:
            return ui::kIdRate22050;
        case 44100:
            return ui::kIdRate44100;
        default:
            return 0;
    }
}

// Whether a name ends with an extension, in any case (X.PPM is a PPM image).
bool endsWith(const std::string& name, const std::string& extension) {
    return name.size() > extension.size() &&
           std::equal(extension.rbegin(), extension.rend(), name.rbegin(), [](char e, char c) {
               return e == std::tolower(static_cast<unsigned char>(c));
           });
}

// Writes the picture where tarnix-file would write audio, the same way (see
// OutputTarget); "-" is standard output. Returns whether the picture went
// to standard output.
bool writeImage(const snapshot::ImageCanvas& image, const std::string& path) {
    using cli::FileError;
    const std::string name = path == "-" ? std::string("standard output") : "'" + path + "'";
    auto reason = [](int error) { return std::string(" (") + std::strerror(error) + ")"; };
    cli::OutputTarget target(path);
    int fd = target.open(true);
    if (!target.ownsFd()) fd = dup(fd);  // standard output itself stays open
    std::FILE* f = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (!f && fd >= 0) close(fd);
    errno = 0;
    bool written = f && image.write(f, endsWith(path, ".ppm"));
    int error = errno != 0 ? errno : EIO;
    if (f && std::fclose(f) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written)
        throw FileError(name + ": cannot write it" + reason(error) +
                        (error == EFBIG ? ": the file-size limit was reached" : ""));
    target.commit();
    return target.toStandardOutput();
}

int run(const Options& o) {
    if (cli::sameFile(o.input, o.output))
        throw cli::FileError("'" + o.output + "': refusing to write over the input");
    cli::InputFile input(o.input);
    const int button = rateButton(input.rate());
    if (button == 0) {
        std::fprintf(stderr,
                     "tarnix-snapshot: '%s': %d Hz; the program runs at 8000, 11025, 22050 or "
                     "44100 Hz\n",
                     o.input.c_str(), input.rate());
        return 1;
    }
    const int64_t wanted = static_cast<int64_t>(o.seconds * input.rate());
    input.setMinimumTotal(wanted + 8 * 4096);

    offline::OfflineHost host;
    platform::setHost(&host);
    host.onMessageBox = [](const std::string& caption, const std::string& text) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    };
    std::unique_ptr<sim::SimMixer> card;
    if (!o.mixer.empty()) card = sim::loadSimMixer(o.mixer);

    offline::FileWaveIn in(input);
    NullSink sink;
    offline::FileWaveOut out(sink);
    static CMixerExtend mixer;
    static AutoInputLevel level(mixer);
    static engine::InputFilters filters;
    auto engine = std::make_unique<CAudioEngine>();
    engine->attach(&in, &out, &level, &filters);

    headless::RecordingView view(host);
    // The labels are placed by the width of the font the image is drawn with.
    view.metrics = {snapshot::ImageCanvas::kCharWidth, snapshot::ImageCanvas::kCharHeight};
    ui::MainWindow window({*engine, filters, mixer, &level, card.get(), view});
    view.attach(&window);
    view.onModalDialog = [&](dialogs::DialogModel& d) {
        if (d.dialogTemplate().resourceId != ui::kWelcomeDialog.resourceId) return;
        d.command(button);
        if (o.stereo) d.command(ui::kIdSimulatedStereo);
        d.command(dialogs::kIdOk);
    };
    window.handleMessage(ui::kWmCreate, 0, 0);
    if (!window.created()) {
        std::fprintf(stderr, "tarnix-snapshot: the main window could not be created\n");
        return 1;
    }
    window.handleMessage(ui::kWmSize, ui::kSizeRestored, ui::sizeParam(o.width, o.height));
    if (o.peaks) window.handleMessage(ui::kWmCommand, ui::ID_SHOW_PEAKS, 0);
    if (o.minimum) window.handleMessage(ui::kWmCommand, ui::ID_SHOW_MIN_AMPLITUDE, 0);

    // The audio runs; the timer ticks once a second of audio, and every paint
    // but the last is thrown away, so the picture shows the last second.
    int64_t nextTick = input.rate();
    for (;;) {
        const int64_t captured = input.delivered();
        if (captured >= wanted || host.quitReached()) break;
        if (captured >= nextTick) {
            nextTick += input.rate();
            // The tick arrives between two audio messages, as the platform delivers it.
            window.handleMessage(ui::kWmTimer, ui::kTimerId, 0);
            snapshot::ImageCanvas scratch(1, 1, ui::kWindowBackground);
            window.paint(scratch);
        }
        if (!host.step() && out.drain() == 0 && host.pending() == 0) break;
    }
    if (o.select.size() == 2) {
        window.handleMessage(ui::kWmLButtonDown, 0, ui::pointParam(o.select[0], 10));
        window.handleMessage(ui::kWmMouseMove, 0, ui::pointParam(o.select[1], 10));
        window.handleMessage(ui::kWmLButtonUp, 0, ui::pointParam(o.select[1], 10));
    }
    const double seconds = static_cast<double>(input.delivered()) / input.rate();
    snapshot::ImageCanvas image(o.width, o.height, ui::kWindowBackground);
    window.paint(image);
    const bool toStandardOutput = writeImage(image, o.output);
    window.handleMessage(ui::kWmCommand, ui::ID_EXIT, 0);
    host.runUntilIdle();
    platform::setHost(nullptr);
    // Standard output may be carrying the picture.
    const std::string written =
        o.output == "-" ? std::string("standard output") : "'" + o.output + "'";
    std::fprintf(toStandardOutput ? stderr : stdout,
                 "tarnix-snapshot: wrote %s (%dx%d) after %.1f s of '%s' at %d Hz\n",
                 written.c_str(), o.width, o.height, seconds, o.input.c_str(), input.rate());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    platform::sys::prepareStandardStreams();
    Options o;
    CLI::App app{
        "Runs Tarnix's main window without a window on an audio file and writes the spectrum "
        "view to an image.",
        "tarnix-snapshot"};
    app.add_option("INPUT", o.input, "audio file (8000, 11025, 22050 or 44100 Hz)")->required();
    app.add_option("OUTPUT", o.output,
                   "image to write: PNG, or PPM for a name ending in .ppm; '-' is standard "
                   "output (PNG)")
        ->required();
    std::string secondsText, widthText, heightText;
    std::vector<std::string> selectText;
    app.add_option("--seconds", secondsText,
                   "seconds of audio before the picture (default 10, at most a day)")
        ->type_name("S");
    app.add_option("--width", widthText, "client width in pixels, 16 to 4096 (default 800)")
        ->type_name("W");
    app.add_option("--height", heightText, "client height in pixels, 16 to 4096 (default 400)")
        ->type_name("H");
    app.add_option("--mixer", o.mixer, "simulated sound card (JSON fixture); default: none");
    app.add_flag("--stereo", o.stereo, "simulated stereo output");
    app.add_flag("--peaks", o.peaks, "Show Peak Amplitudes");
    app.add_flag("--min-amplitude", o.minimum, "Show Minimum Amplitude");
    app.add_option("--select", selectText, "drag a selection from one column to another")
        ->expected(2)
        ->type_name("X0 X1");
    app.set_version_flag("--version", engine::versionNotice("tarnix-snapshot " TARNIX_VERSION));
    app.footer(
        "Exit status: 0 success, 1 a file problem (the message names the file), 2 a usage "
        "error; 128 + N after signal N.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    std::string error;
    auto check = [&error](const char* option, const std::string& problem) {
        if (error.empty() && !problem.empty()) error = std::string(option) + ": " + problem;
    };
    if (app.count("--seconds"))
        check("--seconds",
              cli::parseSeconds(secondsText, kMostSeconds, cli::AboveMost::Refuse, o.seconds));
    if (app.count("--width")) check("--width", cli::parseWhole(widthText, 16, 4096, o.width));
    if (app.count("--height")) check("--height", cli::parseWhole(heightText, 16, 4096, o.height));
    for (const std::string& column : selectText) {
        o.select.push_back(0);
        check("--select", cli::parseWhole(column, -32768, 32767, o.select.back()));
    }
    if (error.empty() && o.input == "-")
        error = "INPUT cannot be standard input ('-'); give an audio file";
    if (!error.empty()) {
        std::fprintf(stderr, "tarnix-snapshot: %s\n", error.c_str());
        return 2;
    }
    cli::signals::install(cli::signals::Mode::Die);
    try {
        return run(o);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarnix-snapshot: %s\n", e.what());
        return 1;
    }
}
