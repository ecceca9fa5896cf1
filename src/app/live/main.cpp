// tarnix-live: the engine and the sound card's mixer live on ALSA, without a
// window. It runs the desktop program's start-up and shutdown minus the
// window: the mixer and its default assignments, the engine and its devices,
// the first tick's routing, and on Ctrl-C, SIGTERM, SIGHUP, SIGQUIT or any
// other signal that would end it the shutdown that leaves every mixer path
// audible.
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <thread>

#include "app/cli/numbers.h"
#include "app/cli/processing_options.h"
#include "engine/audio_engine.h"
#include "engine/audio_session.h"
#include "engine/version.h"
#include "mixer/level_controls.h"
#include "mixer/listing.h"
#include "mixer/mixer_extend.h"
#include "mixer/mixer_session.h"
#include "platform/alsa/alsa_mixer.h"
#include "platform/alsa/alsa_wave.h"
#include "platform/console/console_host.h"
#ifdef TARNIX_SIMULATED_MIXER
#include "platform/sim/sim_mixer.h"
#endif
#include "platform/system.h"

namespace {

constexpr uint32_t kCloseMessage = 0x0010;  // the window's close request

const std::vector<int> kRates = {8000, 11025, 22050, 44100};
// Longer than anyone runs it; the frame count stays far inside 64 bits.
constexpr double kMostSeconds = 1e10;

struct LiveOptions {
    cli::ProcessingOptions processing;
    int rate = 11025;
    bool stereo = false;
    engine::LatencyMode latency = engine::LatencyMode::Low;
    std::string capture = "default";
    std::string playback = "default";
    bool noMixer = false;
    bool autoLevel = false;
    double seconds = 0.0;
    bool mixerListing = false;
    bool quiet = false;
    std::string simulatedMixer;  // the tests' build: a simulated card whose end state is printed
};

// The text of the options that are checked after parsing.
struct Pending {
    cli::ProcessingArgs processing;
    std::string rate = "11025", latency = "low", seconds;
};

void declareOptions(CLI::App& app, LiveOptions& o, Pending& p) {
    app.set_version_flag("--version", engine::versionNotice("tarnix-live " TARNIX_VERSION));
    app.add_option("--rate", p.rate, "Sampling rate in Hz: 8000, 11025, 22050 or 44100")
        ->capture_default_str()
        ->type_name("R");
    app.add_flag("--stereo", o.stereo, "Simulated stereo output (two channels)");
    app.add_option("--latency", p.latency,
                   "low: each output sample is played as soon as it is final, about 0.16 s "
                   "after the input at 11025 Hz and 0.06 s at 44100 Hz; design: the original "
                   "block pump, seven blocks late. The samples are the same")
        ->capture_default_str()
        ->type_name("low|design");
    cli::addProcessingOptions(app, p.processing);
    app.add_option("--capture", o.capture, "ALSA PCM to record from")->capture_default_str();
    app.add_option("--playback", o.playback, "ALSA PCM to play to")->capture_default_str();
    app.add_flag("--no-mixer", o.noMixer, "Leave the sound card's mixer alone");
    app.add_flag("--auto-level", o.autoLevel, "Regulate the recording level automatically");
    app.add_option("--seconds", p.seconds, "Stop after this much audio (default: run until Ctrl-C)")
        ->type_name("S");
    app.add_flag("--mixer-listing", o.mixerListing,
                 std::string("Write the mixer listing \"") + kMixerListFileName +
                     "\" into the current directory at start");
    app.add_flag("-q,--quiet", o.quiet, "Print nothing but errors");
#ifdef TARNIX_SIMULATED_MIXER
    app.add_option("--simulated-mixer", o.simulatedMixer)->group("");  // hidden
#endif
}

// Everything checked after parsing: what is wrong, or empty.
std::string finish(const CLI::App& app, const Pending& p, LiveOptions& o) {
    std::string error = cli::finishProcessingOptions(p.processing, o.processing);
    auto check = [&error](const char* option, const std::string& problem) {
        if (error.empty() && !problem.empty()) error = std::string(option) + ": " + problem;
    };
    check("--rate", cli::parseRate(p.rate, 0, 0, kRates, o.rate));
    check("--latency", engine::parseLatencyMode(p.latency, o.latency));
    if (app.count("--seconds"))
        check("--seconds",
              cli::parseSeconds(p.seconds, kMostSeconds, cli::AboveMost::Cap, o.seconds));
    if (error.empty() && o.noMixer && (o.mixerListing || o.autoLevel))
        error = "--mixer-listing and --auto-level need the mixer";
    return error;
}

std::optional<LiveOptions> parse(int argc, char** argv, int& exitCode) {
    LiveOptions o;
    Pending pending;
    CLI::App app{
        "Runs Tarnix's noise filter live: records the sound card's input, filters it and plays "
        "it back with a constant delay, until Ctrl-C.",
        "tarnix-live"};
    declareOptions(app, o, pending);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        exitCode = app.exit(e) == 0 ? 0 : 2;
        return std::nullopt;
    }
    if (const std::string error = finish(app, pending, o); !error.empty()) {
        std::fprintf(stderr, "tarnix-live: %s\n", error.c_str());
        exitCode = 2;
        return std::nullopt;
    }
    exitCode = 0;
    return o;
}

// Watches the block peaks on their way to the automatic input level.
class PeakWatch final : public engine::InputLevel {
  public:
    explicit PeakWatch(engine::InputLevel& inner) : inner_(inner) {}
    void adjustInputLevel(int32_t& inputPeak) override {
        peak = std::max(peak, inputPeak);
        inner_.adjustInputLevel(inputPeak);
    }
    int32_t peak = 0;

  private:
    engine::InputLevel& inner_;
};

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// What the desktop program's main window does, without the window: owns the
// mixer's notifications, the one-second timer and the shutdown.
class LiveProgram final : public platform::MessageTarget {
  public:
    LiveProgram(const LiveOptions& o, platform::ConsoleHost& host) : o_(o), host_(host) {}

    int run() {
        const int rate = o_.rate;
        if (!o_.noMixer) {
            openMixerDevice();
            mixerSession_.open(mixerDevice_.get(), this, engine::versionText(o_.stereo));
            if (!o_.autoLevel) savedLevel_ = recordingLevel();
            mixerSession_.assign();
            autoLevel_ = std::make_unique<AutoInputLevel>(mixer_);
            mixer_.bAutoInputLevelOff = o_.autoLevel ? 0 : 1;
            if (!o_.autoLevel) restoreRecordingLevel();
            if (o_.mixerListing) writeMixerListing(mixer_, kMixerListFileName, std::time(nullptr));
        }
        PeakWatch watch(autoLevel_ ? static_cast<engine::InputLevel&>(*autoLevel_) : peakOnly_);
        watch_ = &watch;

        const bool low = o_.latency == engine::LatencyMode::Low;
        const auto latency = low ? alsa::Latency::Low : alsa::Latency::Design;
        auto in = alsa::makeWaveIn(o_.capture, &inStats_, latency);
        auto out = alsa::makeWaveOut(o_.playback, &outStats_, latency);
        static engine::InputFilters filters;
        engine_ = std::make_unique<CAudioEngine>();
        engine_->attach(in.get(), out.get(), &watch, &filters);
        audio_.emplace(*engine_, filters);
        audio_->setLatencyMode(o_.latency);

        host_.setTimer(std::chrono::milliseconds(1000), [this] { tick(); });
        host_.beforeMessageBox = [this] { clearStatus(); };
        host_.afterMessage = [this] {
            if (o_.seconds > 0 && !closeRequested_ &&
                inStats_.frames >= static_cast<uint64_t>(o_.seconds * o_.rate)) {
                closeRequested_ = true;
                host_.postMessage(this, kCloseMessage, 0, 0);
            }
        };
        started_ = std::chrono::steady_clock::now();
        cpuStart_ = cpuSeconds();
        audio_->start(rate, o_.stereo);
        cli::applyOptions(o_.processing, *engine_);

        const int code = host_.run();
        // The engine ended the run itself (a device failed): still leave the
        // card as the shutdown would, and say so in the exit status.
        const bool failed = !shutDown_;
        const bool unopened = failed && deviceUnopened();
        shutdown();
        clearStatus();
        host_.afterMessage = nullptr;
        if (!o_.quiet && !unopened) summary();
#ifdef TARNIX_SIMULATED_MIXER
        if (simulatedCard_) printCard();
#endif
        return failed ? 1 : code;
    }

    void requestClose() {
        host_.postMessage(this, kCloseMessage, 0, 0);
    }

    intptr_t handleMessage(uint32_t message, uintptr_t, intptr_t lParam) override {
        if (message == platform::kMmMixmLineChange) {
            mixerSession_.notify(message, static_cast<uint32_t>(lParam));
        } else if (message == platform::kMmMixmControlChange) {
            mixerSession_.notify(message, static_cast<uint32_t>(lParam));
        } else if (message == kCloseMessage) {
            shutdown();
        }
        return 0;
    }

  private:
    void openMixerDevice() {
#ifdef TARNIX_SIMULATED_MIXER
        if (!o_.simulatedMixer.empty()) {
            auto card = sim::loadSimMixer(o_.simulatedMixer);
            simulatedCard_ = card.get();
            mixerDevice_ = std::move(card);
            return;
        }
#endif
        mixerDevice_ = alsa::makeMixerDevice();
    }

    // The recording level is the user's unless the automatic level runs:
    // start-up sets it to its low starting point, so put back what was there.
    // The volume of the recording source the start-up assignment will choose,
    // read before that assignment sets it.
    std::optional<uint32_t> recordingLevel() {
        for (uint32_t d = 0; d < mixer_.sMixerCaps.cDestinations; ++d) {
            const CMixerMixerLine_dest& dest = mixer_.pasCMixerMixerLine_dest[d];
            if (dest.dwComponentType != platform::kMixerLineComponentTypeDstWaveIn) continue;
            const uint32_t s = CMixerExtend::chooseSource(dest);
            if (s == kMixerNone) return std::nullopt;
            const CMixerMixerLine_src& src = dest.psaCMixerMixerLine_src[s];
            const uint32_t id = CMixerExtend::firstControl(
                src.psaMixerControl, src.cControls, platform::kMixerControlControlTypeVolume);
            if (id == kMixerNone || mixer_.readControl(id, 0) != 0) return std::nullopt;
            return mixer_.adwDetails[0];
        }
        return std::nullopt;
    }

    void restoreRecordingLevel() {
        if (savedLevel_) {
            mixer_.readControl(mixer_.dwWaveInVolumeCtrl, 0);
            mixer_.writeControlValue(static_cast<int32_t>(*savedLevel_));
            mixer_.dwWaveInVolume = mixer_.adwDetails[0];
        }
    }

    // A device that never opened: its box has said which and why, and there is
    // no run to sum up.
    bool deviceUnopened() const {
        return !engine_->inputOpen || !engine_->outputOpen;
    }

    void shutdown() {
        if (shutDown_) return;
        shutDown_ = true;
        mixerSession_.close();
        if (audio_) audio_->stop();
    }

    void tick() {
        if (!shutDown_) mixerSession_.routeForStart();
        const auto now = std::chrono::steady_clock::now();
        const double cpu = cpuSeconds();
        const double wall = std::chrono::duration<double>(now - lastTick_).count();
        if (lastTickSet_ && wall > 0) cpuShare_ = (cpu - lastCpu_) / wall;
        lastTick_ = now;
        lastCpu_ = cpu;
        lastTickSet_ = true;
        const int32_t peak = watch_ ? watch_->peak : 0;
        if (watch_) watch_->peak = 0;
        if (o_.quiet || !isatty(STDERR_FILENO)) return;
        char level[16] = "-";
        const bool levelKnown = mixerDevice_ && mixer_.dwWaveInVolumeCtrl != kMixerNone;
        if (levelKnown)
            std::snprintf(level, sizeof level, "%u%%", mixer_.dwWaveInVolume * 100 / 65535);
        std::fprintf(stderr,
                     "\rinput %6.1f dBFS  recording %4s%s  queue %d  underruns %llu  overruns "
                     "%llu  CPU %.1f%%  \033[K",
                     peak > 0 ? 20 * std::log10(peak / 32768.0) : -99.9, level,
                     levelKnown && !mixer_.bAutoInputLevelOff ? " auto" : "",
                     engine_ ? engine_->outputQueued : 0,
                     static_cast<unsigned long long>(outStats_.xruns.load()),
                     static_cast<unsigned long long>(inStats_.xruns.load()), 100 * cpuShare_);
        std::fflush(stderr);
        statusShown_ = true;
    }

    void clearStatus() {
        if (!statusShown_) return;
        std::fputs("\r\033[K", stderr);
        statusShown_ = false;
    }

#ifdef TARNIX_SIMULATED_MIXER
    // The simulated card as the run left it: one line per control.
    void printCard() {
        for (const auto& dest : simulatedCard_->destinations) {
            auto print = [](const sim::SimMixer::Line& line) {
                for (const auto& c : line.controls) {
                    std::printf("mixer: %s / %s =", line.info.szName, c.info.szName);
                    for (uint32_t v : c.values)
                        std::printf(" %u", v);
                    std::printf("\n");
                }
            };
            print(dest);
            for (const auto& src : dest.sources)
                print(src);
        }
    }

#endif

    void summary() {
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
        const double audio = static_cast<double>(inStats_.frames) / o_.rate;
        std::printf(
            "tarnix-live: %.1f s of audio at %d Hz %s in %.1f s; underruns %llu, overruns %llu, "
            "delay restored %llu times; CPU %.2f%% of one core.\n",
            audio, o_.rate, o_.stereo ? "simulated stereo" : "mono", wall,
            static_cast<unsigned long long>(outStats_.xruns.load()),
            static_cast<unsigned long long>(inStats_.xruns.load()),
            static_cast<unsigned long long>(inStats_.corrections.load()),
            wall > 0.5 ? 100 * (cpuSeconds() - cpuStart_) / wall : 0.0);
    }

    const LiveOptions& o_;
    platform::ConsoleHost& host_;
    std::unique_ptr<platform::MixerDevice> mixerDevice_;
#ifdef TARNIX_SIMULATED_MIXER
    sim::SimMixer* simulatedCard_ = nullptr;
#endif
    std::optional<uint32_t> savedLevel_;
    CMixerExtend mixer_;
    MixerSession mixerSession_{mixer_};
    std::unique_ptr<AutoInputLevel> autoLevel_;
    engine::PeakOnlyInputLevel peakOnly_;
    PeakWatch* watch_ = nullptr;
    alsa::DeviceStats inStats_, outStats_;
    std::unique_ptr<CAudioEngine> engine_;
    std::optional<engine::AudioSession> audio_;
    bool shutDown_ = false;
    bool closeRequested_ = false;
    bool statusShown_ = false;
    std::chrono::steady_clock::time_point started_, lastTick_;
    double cpuStart_ = 0, lastCpu_ = 0, cpuShare_ = 0;
    bool lastTickSet_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    platform::sys::prepareStandardStreams();
    int exitCode = 0;
    const auto options = parse(argc, argv, exitCode);
    if (!options) return exitCode;

    // Ctrl-C, Ctrl-\, SIGTERM, the terminal closing (SIGHUP) and every other
    // signal that would end the program are taken by one thread that asks
    // the loop to shut down, so every mixer path is left audible; every other
    // thread (ALSA's included) is started after this and never sees them. A
    // device open that waits inside ALSA gives up then, so the loop gets there.
    sigset_t signals;
    sigemptyset(&signals);
    for (int sig : platform::sys::endingSignals())
        sigaddset(&signals, sig);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    // A closed pipe shows up as a write error.
    ::signal(SIGPIPE, SIG_IGN);

    platform::ConsoleHost host;
    platform::setHost(&host);
    LiveProgram program(*options, host);
    std::atomic<bool> exiting{false};
    std::thread watcher([&] {
        for (;;) {
            int sig = 0;
            sigwait(&signals, &sig);
            if (exiting) return;  // SIGUSR1 from below
            alsa::abandonOpening();
            program.requestClose();
        }
    });
    int code = 0;
    try {
        code = program.run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarnix-live: %s\n", e.what());
        code = 2;
    }
    exiting = true;
    pthread_kill(watcher.native_handle(), SIGUSR1);
    watcher.join();
    platform::setHost(nullptr);
    return code;
}
