// The main window's life: creation, the timer, the command table, the size
// and the mixer's notifications. The selection and the paint are in their
// own files.
#include "ui/main_window.h"

#include "engine/version.h"
#include "mixer/assignment_dialogs.h"
#include "mixer/listing.h"
#include "ui/command_table.h"
#include "ui/dialog_templates.h"
#include "ui/window_messages.h"

namespace ui {

MainWindow::MainWindow(const MainWindowParts& parts)
    : engine_(parts.engine),
      filters_(parts.filters),
      mixer_(parts.mixer),
      inputLevel_(parts.inputLevel),
      mixerDevice_(parts.mixerDevice),
      view_(parts.view),
      audio_(parts.engine, parts.filters),
      mixerSession_(parts.mixer),
      menus_(parts.view),
      levelDialog_(parts.mixer) {
    audio_.setLatencyMode(parts.latency);
}

MainWindow::~MainWindow() = default;

intptr_t MainWindow::handleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case kWmCreate:
            create();
            return 0;
        case kWmDestroy:
            destroy();
            return 0;
        case platform::kMmMixmLineChange:
        case platform::kMmMixmControlChange:
            mixerNotification(message, lParam);
            return 0;
        case kWmSize:
            if (!destroyed_) size(wParam, lParam);
            return 0;
        default:
            break;
    }
    // Input and ticks mean nothing before the window exists or after it is gone
    // (they can be delivered inside a modal call of the creation or destruction).
    if (!created_ || destroyed_) {
        // A tick during the creation's later steps is handled, as on the platform.
        if (message == kWmTimer && s_.nTimerId != 0 && !destroyed_) timerTick();
        return 0;
    }
    switch (message) {
        case kWmTimer:
            timerTick();
            break;
        case kWmCommand:
            command(static_cast<uint32_t>(wParam));
            break;
        case kWmKeyDown:
            keyDown(wParam);
            break;
        case kWmKeyUp:
            keyUp(wParam);
            break;
        case kWmMouseMove:
            mouseMove(lParam);
            break;
        case kWmLButtonDown:
            mouseDown(lParam);
            break;
        case kWmLButtonUp:
            mouseUp(lParam);
            break;
        case kWmRButtonDown:
            view_.showPopupMenu(lowWord(lParam), highWord(lParam));
            break;
        default:
            break;
    }
    return 0;
}

void MainWindow::create() {
    if (creating_ || created_ || destroyed_) return;
    creating_ = true;

    WelcomeDialog welcome;
    const intptr_t agreed = view_.runModalDialog(welcome);
    if (destroyed_) return;
    if (agreed != 1) {
        view_.destroyWindow();
        return;
    }
    s_.nSampleRate = welcome.nSampleRate;
    s_.bSimulatedStereo = welcome.bSimulatedStereo;

    const bool stereo = s_.bSimulatedStereo == 1;
    title_ = std::string(kMainWindowTitle) + (stereo ? engine::kStereoSuffix : "");
    versionSuffixed_ = engine::versionText(stereo);
    view_.setTitle(title_);

    // Its failures show a box, inside which anything posted may be delivered.
    mixerSession_.open(mixerDevice_, this, versionSuffixed_);
    if (destroyed_) return;
    mixerSession_.assign();
    if (destroyed_) return;

    switch (s_.nSampleRate) {
        case 8000:
            s_.nScaleNumDefault = 15;
            break;
        case 22050:
            s_.nScaleNumDefault = 25;
            break;
        case 44100:
            s_.nScaleNumDefault = 30;
            break;
        default:
            s_.nScaleNumDefault = 15;
            break;
    }
    s_.nScaleNum = s_.nScaleNumDefault;

    view_.loadPopupMenu();
    s_.nTimerId = view_.setTimer(kTimerId, kTimerPeriodMs);

    audio_.startEngine(static_cast<int32_t>(s_.nSampleRate), stereo);
    if (destroyed_) return;

    drawingObjects_ = true;
    const FontMetrics font = view_.fontMetrics();
    s_.nCharWidth = static_cast<int16_t>(font.maxCharWidth);
    charAdvance_ = font.advance;
    audio_.designFilters();
    created_ = true;
}

void MainWindow::destroy() {
    if (destroyed_) return;
    destroyed_ = true;
    mixerSession_.close();
    audio_.stop();
    drawingObjects_ = false;
    if (s_.nTimerId != 0) {
        view_.killTimer(s_.nTimerId);
        s_.nTimerId = 0;
    }
    platform::host().postQuitMessage(0);
}

void MainWindow::timerTick() {
    if (s_.bFirstTickDone == 0) {
        // Marked first: a tick delivered inside what follows must not repeat it.
        s_.bFirstTickDone = 1;
        showAudioLevelDialog();
        if (destroyed_) return;
        mixerSession_.routeForStart();
        if (destroyed_) return;
        for (uint32_t id : kGrayedAfterFirstTick)
            menus_.gray(id);
    }
    if (!view_.isMinimised()) view_.invalidate(true);
}

void MainWindow::size(uintptr_t, intptr_t lParam) {
    s_.nClientWidth = static_cast<int16_t>(lowWord(lParam));
    s_.nClientHeight = static_cast<int16_t>(highWord(lParam));
    if (s_.bZoomHorizontal) s_.nScaleNum = s_.nClientWidth;
}

void MainWindow::mixerNotification(uint32_t message, intptr_t lParam) {
    if (destroyed_ || !mixerSession_.notify(message, static_cast<uint32_t>(lParam))) return;
    if (destroyed_) return;
    levelDialog_.updateAudioLevelDialog();
    if (levelDialog_.isOpen()) view_.refreshDialog(levelDialog_);
}

void MainWindow::showAudioLevelDialog() {
    if (levelDialog_.showAudioLevelDialog()) {
        view_.openModelessDialog(levelDialog_);
    } else {
        view_.raiseDialog(levelDialog_);
    }
}

void MainWindow::openQuickHelp() {
    if (!quickHelp_.isOpen()) {
        view_.openModelessDialog(quickHelp_);
    } else {
        view_.raiseDialog(quickHelp_);
    }
}

void MainWindow::runAbout() {
    AboutDialog about;
    view_.runModalDialog(about);
}

void MainWindow::runAssignment(bool record) {
    if (record) {
        RecordAssignmentDialog dialog(mixer_);
        view_.runModalDialog(dialog);
    } else {
        PlaybackAssignmentDialog dialog(mixer_);
        view_.runModalDialog(dialog);
    }
}

void MainWindow::runDump() {
    DumpDialog dialog(mixer_);
    view_.runModalDialog(dialog);
    // The file goes to the working directory, which need not be the
    // program's own whatever the dialog says: the user is told where it is.
    if (!dialog.writtenTo().empty() && !destroyed_)
        view_.messageBox("The mixer settings were written to " + dialog.writtenTo(),
                         mixer_ui::kDumpDialog.caption,
                         platform::kMbOk | platform::kMbIconInformation);
}

namespace {
uint32_t flipped(uint32_t flag) {
    return flag == 0 ? 1 : 0;
}
}  // namespace

void MainWindow::command(uint32_t id) {
    const CommandInfo* info = findCommand(id);
    if (!info) return;
    switch (info->kind) {
        case CommandKind::Dialog:
            openDialog(id);
            return;
        case CommandKind::Exit:
            view_.destroyWindow();
            return;
        case CommandKind::Selection:
            selectionCommand(id);
            return;
        case CommandKind::Display:
        case CommandKind::DisplayToggle:
            displayCommand(id);
            return;
        case CommandKind::Engine:
        case CommandKind::EngineToggle:
            engineCommand(*info);
            return;
        case CommandKind::NoEffect:
            return;
    }
}

void MainWindow::openDialog(uint32_t id) {
    switch (id) {
        case ID_AUDIO_LEVEL_CONTROLS:
            showAudioLevelDialog();
            return;
        case ID_RECORDING_ASSIGNMENTS:
            runAssignment(true);
            return;
        case ID_PLAYBACK_ASSIGNMENTS:
            runAssignment(false);
            return;
        case ID_DUMP_MIXER_SETTINGS:
            runDump();
            return;
        case ID_QUICK_HELP:
            openQuickHelp();
            return;
        case ID_ABOUT:
            runAbout();
            return;
        default:
            return;
    }
}

void MainWindow::selectionCommand(uint32_t id) {
    switch (id) {
        case ID_RESELECT:
            s_.nSelStart = s_.nLastSelStart;
            s_.nSelEnd = s_.nLastSelEnd;
            menus_.selectionMade();
            return;
        case ID_SELECT_ALL:
            s_.nSelStart = 0;
            s_.nSelEnd = s_.nClientWidth - 1;
            menus_.selectionMade();
            return;
        case ID_PASS_BAND:
            if (s_.nSelStart < s_.nSelEnd) passOrStop(engine::kBandPass);
            return;
        case ID_STOP_BAND:
            if (s_.nSelStart < s_.nSelEnd) passOrStop(engine::kBandStop);
            return;
        case ID_MINIMUM_AMPLITUDE:
            if (s_.nSelStart < s_.nSelEnd) {
                s_.bMinAmpMode = 1;
                s_.bMinAmpFirstKey = 1;
            }
            return;
        default:
            return;
    }
}

void MainWindow::displayCommand(uint32_t id) {
    switch (id) {
        case ID_ZOOM_NORMAL:
        case ID_ZOOM_IN:
        case ID_ZOOM_OUT:
            s_.dAmplitudePerPixel = id == ID_ZOOM_NORMAL ? 600.0 : id == ID_ZOOM_IN ? 30.0 : 3600.0;
            menus_.checkRadio(RadioGroup::ZoomVertical, id);
            return;
        case ID_ZOOM_HORIZONTAL:
            s_.bZoomHorizontal = flipped(s_.bZoomHorizontal);
            if (s_.bZoomHorizontal) {
                s_.nScaleNum = s_.nClientWidth;
                s_.nScaleDen = static_cast<int32_t>(engine_.binHigh);
            } else {
                s_.nScaleNum = s_.nScaleNumDefault;
                s_.nScaleDen = 10;
            }
            menus_.setChecked(id, s_.bZoomHorizontal == 1);
            return;
        case ID_SHOW_MIN_AMPLITUDE:
            s_.bShowMinAmplitude = flipped(s_.bShowMinAmplitude);
            menus_.setChecked(id, s_.bShowMinAmplitude == 1);
            return;
        default:
            return;
    }
}

// An engine setting, and the marks that show it.
void MainWindow::engineCommand(const CommandInfo& info) {
    if (!applyEngineCommand(engine_, info.id)) return;
    if (info.group != RadioGroup::None) {
        menus_.checkRadio(info.group, info.id);
    } else if (info.kind == CommandKind::EngineToggle) {
        menus_.setChecked(info.id, engineToggleState(engine_, info.id));
    }
    if (info.id == ID_SPEECH_ENHANCEMENT)
        menus_.setAsideByEnhancement(engineToggleState(engine_, info.id));
}

}  // namespace ui
