// The main window controller: everything the desktop program's
// main window decides, with no toolkit. A front end creates one with the
// program's static objects and its MainView, sends it the window's messages
// (ui/window_messages.h) through handleMessage, and calls paint(canvas) for
// every paint. It is also the owner (the platform::MessageTarget) the mixer
// posts its notifications to and dialogs and message boxes belong to.
//
// Re-entrancy. The view's modal calls (the start-up, About and assignment
// dialogs, the popup menu, message boxes) keep delivering posted messages,
// and so may the message boxes that the engine and the mixer show. Any of
// this controller's handlers may therefore run inside another one, and the
// engine's handlers inside any of them. The controller is written for it:
// - every handler leaves the state consistent before any call that can
//   deliver messages, and after such a call checks that the window still
//   exists before it goes on (kWmDestroy may have run inside the call);
// - the first tick's work is marked done before it starts, so a tick inside
//   it does not repeat it;
// - the mixer's notifications are acted on only while the mixer copy exists
//   and its assignments are made (the mixer set up and its default
//   assignments made during creation, its release at destruction not yet
//   begun);
// - paint does nothing before the creation has finished or after the
//   destruction (the engine's tables are not yet, or no longer, set up);
// - the hidden audio window object lives as long as the controller, so
//   destroying it while one of its handlers is on the stack frees nothing;
// - modal dialog models are locals of the handler that runs them.
// The hidden audio window in turn defers a wave message that arrives while
// the engine is inside one of its own handlers (engine/hidden_audio_window.h).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/audio_engine.h"
#include "engine/audio_session.h"
#include "engine/hidden_audio_window.h"
#include "mixer/level_controls.h"
#include "mixer/mixer_extend.h"
#include "mixer/mixer_session.h"
#include "platform/host.h"
#include "platform/mixer_device.h"
#include "ui/canvas.h"
#include "ui/dialog_models.h"
#include "ui/main_view.h"
#include "ui/menu_state.h"

namespace ui {

// The main window's state and its values before the window is created.
struct MainWindowState {
    uint32_t nSampleRate = 11025;
    uint32_t bSimulatedStereo = 0;
    int32_t nScaleNum = 1;
    int32_t nScaleDen = 10;
    int32_t nScaleNumDefault = 1;
    double dAmplitudePerPixel = 600.0;
    int32_t nClientHeight = 480;
    int16_t nClientWidth = 0;
    int16_t nCharWidth = 1;
    int32_t nCursorX = -1;
    int32_t nMinAmpLevel = -1;
    int32_t nSelStart = -1;
    int32_t nSelEnd = -1;
    int32_t nLastSelStart = -1;
    int32_t nLastSelEnd = -1;
    uint32_t bMinAmpMode = 0;
    uint32_t bMinAmpFirstKey = 0;
    uint32_t bButtonDown = 0;
    uint32_t bShiftSelect = 0;
    uint32_t bZoomHorizontal = 0;
    uint32_t bShowMinAmplitude = 0;
    uint32_t bFirstTickDone = 0;
    uint32_t nTimerId = 0;  // 0: none
};

// The program's objects the main window works with; none is owned. The
// engine has its wave devices, automatic input level and input filters
// attached (CAudioEngine::attach) before the window is created.
struct MainWindowParts {
    CAudioEngine& engine;
    engine::InputFilters& filters;
    CMixerExtend& mixer;
    AutoInputLevel* inputLevel;          // may be null
    platform::MixerDevice* mixerDevice;  // may be null: no mixer support
    MainView& view;
    // When the output is played (the command line's --latency).
    engine::LatencyMode latency = engine::LatencyMode::Design;
};

class MainWindow final : public platform::MessageTarget {
  public:
    explicit MainWindow(const MainWindowParts& parts);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Every message of the main window: kWmCreate, kWmDestroy, kWmSize,
    // kWmTimer, kWmCommand, the keys, the mouse, kWmRButtonDown and the
    // mixer's notifications. kWmPaint is paint(). Returns 0.
    intptr_t handleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

    // WM_PAINT: the spectrum display onto the erased client area.
    void paint(Canvas& canvas);

    const MainWindowState& state() const { return s_; }
    // Test access to the state (as a front end never needs it).
    MainWindowState& mutableState() { return s_; }

    // The title and the version text with its stereo suffix, both set when
    // the window is created.
    const std::string& title() const { return title_; }
    const std::string& versionForListing() const { return versionSuffixed_; }

    // Where the window is in its life.
    bool created() const { return created_; }
    bool destroyed() const { return destroyed_; }
    bool drawingObjectsMade() const { return drawingObjects_; }

    // The dialog models the window owns (modeless ones live with it).
    AudioLevelDialog& audioLevelDialog() { return levelDialog_; }
    QuickHelpDialog& quickHelp() { return quickHelp_; }
    // The audio window, once created (it lives as long as the controller).
    const engine::HiddenAudioWindow* hiddenAudioWindow() const { return audio_.window(); }

  private:
    void create();
    void destroy();
    void timerTick();
    // A menu command, handed on by its kind.
    void command(uint32_t id);
    void openDialog(uint32_t id);
    void selectionCommand(uint32_t id);
    void displayCommand(uint32_t id);
    void engineCommand(const CommandInfo& info);
    void size(uintptr_t type, intptr_t lParam);
    void mixerNotification(uint32_t message, intptr_t lParam);
    void showAudioLevelDialog();
    void openQuickHelp();
    void runAbout();
    void runAssignment(bool record);
    void runDump();

    // Selection, in selection.cpp.
    void mouseDown(intptr_t lParam);
    void mouseMove(intptr_t lParam);
    void mouseUp(intptr_t lParam);
    void keyDown(uintptr_t key);
    void keyUp(uintptr_t key);
    void minAmpKeyUp(uintptr_t key);
    void clearSelection();
    void selectionMade();
    void passOrStop(uint32_t code);
    void setMinimumAmplitudes(double value);
    void orderSelection();
    int32_t binOfColumn(int32_t x) const;
    // The drawn width of a label in the window's font.
    int32_t textWidth(std::string_view text) const;
    // The paint's phases, in the order they draw.
    struct PaintScale;
    void paintStoppedBands(Canvas& c, const PaintScale& g) const;
    void paintGrid(Canvas& c, const PaintScale& g) const;
    void paintLabel(Canvas& c, const PaintScale& g, int32_t x, int32_t y,
                    const std::string& text) const;
    std::string frequencyText(int32_t x) const;
    void paintTraces(Canvas& c, const PaintScale& g);

    CAudioEngine& engine_;
    engine::InputFilters& filters_;
    CMixerExtend& mixer_;
    AutoInputLevel* inputLevel_;
    platform::MixerDevice* mixerDevice_;
    MainView& view_;

    engine::AudioSession audio_;
    MixerSession mixerSession_;
    MainWindowState s_;
    MenuState menus_;
    AudioLevelDialog levelDialog_;
    QuickHelpDialog quickHelp_;
    std::string title_;
    std::string versionSuffixed_;
    std::array<uint8_t, 95> charAdvance_{};  // from the view's font metrics

    bool creating_ = false;
    bool created_ = false;
    bool destroyed_ = false;
    bool drawingObjects_ = false;
    bool shiftDown_ = false;  // between a Shift press and its release
};

}  // namespace ui
