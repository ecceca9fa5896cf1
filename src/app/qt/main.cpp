// tarnix: the desktop program on Linux. The engine, the sound card's mixer
// and the main window's controller from the core, on Qt's event loop, with
// the default capture and playback devices and card 0's mixer over ALSA. Its
// command line holds Qt's own options and the desktop program's (--latency).
#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "app/qt/desktop_window.h"
#include "app/qt/qt_host.h"
#include "engine/audio_engine.h"
#include "engine/version.h"
#include "mixer/level_controls.h"
#include "mixer/mixer_extend.h"
#include "platform/alsa/alsa_mixer.h"
#include "platform/alsa/alsa_wave.h"
#include "platform/system.h"
#include "ui/command_line.h"
#include "ui/dialog_templates.h"
#include "ui/main_window.h"

namespace {
// Qt's own options (the application's, the widgets' and the X11 platform's),
// which QApplication takes off the command line, written with one dash or
// two; true for those that take a value.
const std::map<std::string, bool> kToolkitOptions = {
    {"platform", true},      {"platformpluginpath", true},
    {"platformtheme", true}, {"plugin", true},
    {"qmljsdebugger", true}, {"qwindowgeometry", true},
    {"geometry", true},      {"qwindowicon", true},
    {"icon", true},          {"qwindowtitle", true},
    {"title", true},         {"session", true},
    {"display", true},       {"style", true},
    {"stylesheet", true},    {"name", true},
    {"visual", true},        {"im", true},
    {"reverse", false},      {"widgetcount", false},
    {"nograb", false},       {"dograb", false},
    {"sync", false},         {"testability", false},
    {"cmap", false},
};

// The first argument that neither the program nor Qt takes, or empty: found
// before Qt starts, which needs a display (and aborts without one).
std::string unknownArgument(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--latency") {
            ++i;
            continue;
        }
        if (arg.rfind("--latency=", 0) == 0 || arg == "--help" || arg == "-h" || arg == "--version")
            continue;
        if (arg.size() > 1 && arg[0] == '-') {
            std::string name = arg.substr(arg.rfind("--", 0) == 0 ? 2 : 1);
            const size_t equals = name.find('=');
            const auto option = kToolkitOptions.find(name.substr(0, equals));
            if (option != kToolkitOptions.end()) {
                if (option->second && equals == std::string::npos) ++i;
                continue;
            }
        }
        return arg;
    }
    return {};
}

// The program's objects that live for the whole run.
CMixerExtend mixer;
AutoInputLevel inputLevel(mixer);
engine::InputFilters filters;
}  // namespace

int main(int argc, char** argv) {
    // No file the program opens may take standard error's number.
    platform::sys::prepareStandardStreams();
    // --help and --version need no display: they are answered before the
    // toolkit starts (Qt's own options may still stand around them).
    const ui::DesktopCommandLine early = ui::parseDesktopCommandLine(argc, argv);
    if (early.help || early.version) {
        const std::string text = early.help
                                     ? ui::desktopHelp("tarnix")
                                     : engine::versionNotice("tarnix " TARNIX_VERSION) + "\n";
        std::fputs(text.c_str(), stdout);
        return 0;
    }
    if (!early.error.empty() && !early.unknownArgument) {
        std::fprintf(stderr, "tarnix: %s\n", early.error.c_str());
        return 2;
    }
    if (const std::string unknown = unknownArgument(argc, argv); !unknown.empty()) {
        std::fprintf(stderr, "tarnix: unknown argument '%s' (--help lists the options)\n",
                     unknown.c_str());
        return 2;
    }
    QApplication app(argc, argv);
    // What is left once Qt has taken its own options.
    const ui::DesktopCommandLine line = ui::parseDesktopCommandLine(argc, argv);
    if (!line.error.empty()) {
        std::fprintf(stderr, "tarnix: %s\n", line.error.c_str());
        return 2;
    }
    // The window class's name is what the desktop sees as the program's class.
    QApplication::setApplicationName(QString::fromUtf8(ui::kMainWindowClass));
    QApplication::setApplicationVersion(QStringLiteral(TARNIX_VERSION));
    // The desktop entry's name (the application's ID), so that a Wayland
    // session finds its icon and name.
    QApplication::setDesktopFileName(QStringLiteral(TARNIX_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tarnix/icon.png")));
    // Only the quit message ends the program, after the window's shutdown.
    QApplication::setQuitOnLastWindowClosed(false);

    qt_front::QtHost host;
    platform::setHost(&host);

    // The devices' periods follow the engine's timing: small ones for the
    // streaming path, so that its hops are not held back by the sound card.
    const alsa::Latency deviceTiming =
        line.latency == engine::LatencyMode::Low ? alsa::Latency::Low : alsa::Latency::Design;
    auto waveIn = alsa::makeWaveIn("default", nullptr, deviceTiming);
    auto waveOut = alsa::makeWaveOut("default", nullptr, deviceTiming);
    auto mixerDevice = alsa::makeMixerDevice();
    auto engine = std::make_unique<CAudioEngine>();
    engine->attach(waveIn.get(), waveOut.get(), &inputLevel, &filters);

    int code = 0;
    {
        qt_front::DesktopWindow view(host);
        ui::MainWindow window(
            {*engine, filters, mixer, &inputLevel, mixerDevice.get(), view, line.latency});
        view.attach(&window);
        view.start();
        code = app.exec();
        // A window still standing means the engine ended the run (a device
        // failed): it is destroyed as on Exit, so the mixer's paths are left
        // audible, and the exit status says the run failed.
        if (!window.destroyed() && window.created()) {
            view.destroyWindow();
            code = 1;
        }
    }
    platform::setHost(nullptr);
    return code;
}
