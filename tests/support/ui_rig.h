// The main window on the simulated platform: scripted wave devices, a
// simulated sound card, the recording view, and the program's objects, wired
// as a front end wires them.
#pragma once

#include <memory>
#include <string>

#include "app/headless/recording_canvas.h"
#include "app/headless/recording_view.h"
#include "engine/audio_engine.h"
#include "mixer/level_controls.h"
#include "mixer/mixer_extend.h"
#include "platform/sim/sim_host.h"
#include "platform/sim/sim_mixer.h"
#include "platform/sim/sim_wave.h"
#include "ui/main_window.h"
#include "ui/window_messages.h"

class UiRig {
  public:
    explicit UiRig(const std::string& card = "classic.json",
                   engine::LatencyMode latency = engine::LatencyMode::Design)
        : mixerDevice(sim::loadSimMixer(std::string(TARNIX_FIXTURES_DIR) + "/mixer/" + card)),
          engine(std::make_unique<CAudioEngine>()),
          filters(std::make_unique<engine::InputFilters>()),
          level(mixer),
          view(host),
          window(ui::MainWindowParts{*engine, *filters, mixer, &level, mixerDevice.get(), view,
                                     latency}) {
        platform::setHost(&host);
        engine->attach(&in, &out, &level, filters.get());
        view.attach(&window);
    }
    ~UiRig() { platform::setHost(nullptr); }

    // Creates the window; the start-up dialog is answered by `answer` (or
    // accepted as it stands), then the window is sized.
    void create(std::function<void(dialogs::DialogModel&)> answer = {}, int width = 800,
                int height = 480) {
        view.onModalDialog = std::move(answer);
        window.handleMessage(ui::kWmCreate, 0, 0);
        view.onModalDialog = {};
        if (!window.destroyed()) send(ui::kWmSize, ui::kSizeRestored, ui::sizeParam(width, height));
        host.runUntilIdle();
    }
    // The start-up dialog's answer for a rate and stereo mode.
    static std::function<void(dialogs::DialogModel&)> choose(int rateButton, bool stereo) {
        return [=](dialogs::DialogModel& d) {
            d.command(rateButton);
            if (stereo) d.command(ui::kIdSimulatedStereo);
            d.command(dialogs::kIdOk);
        };
    }

    void send(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0) {
        window.handleMessage(message, wParam, lParam);
    }
    void command(uint32_t id) { send(ui::kWmCommand, id); }
    void key(uintptr_t vk) {
        send(ui::kWmKeyDown, vk);
        send(ui::kWmKeyUp, vk);
    }
    void drag(int x0, int x1, int y = 100) {
        send(ui::kWmLButtonDown, 0, ui::pointParam(x0, y));
        send(ui::kWmMouseMove, 0, ui::pointParam(x1, y));
        send(ui::kWmLButtonUp, 0, ui::pointParam(x1, y));
    }
    // One tick of the timer, delivered with everything it causes.
    void tick() {
        view.tick();
        host.runUntilIdle();
    }
    headless::RecordingCanvas paint() {
        headless::RecordingCanvas canvas;
        window.paint(canvas);
        return canvas;
    }
    // Puts the keyboard cursor at a column (as the keys would, step by step).
    void mutableCursor(int x) { window.mutableState().nCursorX = x; }
    const ui::MainWindowState& s() const { return window.state(); }
    bool checked(uint32_t id) const { return view.item(ui::Menu::Main, id).checked; }
    bool enabled(uint32_t id, ui::Menu m = ui::Menu::Main) const {
        return view.item(m, id).enabled;
    }

    sim::SimHost host;
    sim::ScriptedWaveIn in;
    sim::ScriptedWaveOut out;
    std::unique_ptr<sim::SimMixer> mixerDevice;
    CMixerExtend mixer;
    std::unique_ptr<CAudioEngine> engine;
    std::unique_ptr<engine::InputFilters> filters;
    AutoInputLevel level;
    headless::RecordingView view;
    ui::MainWindow window;
};
