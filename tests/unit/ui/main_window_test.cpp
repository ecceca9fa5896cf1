// The main window's life and its command table, through the messages a front
// end sends, on the simulated platform.
#include <gtest/gtest.h>

#include <set>

#include "support/ui_rig.h"
#include "ui/dialog_templates.h"
#include "ui/menu_table.h"

using namespace ui;

namespace {

TEST(MainWindowCreation, RunsItsStepsInOrderAndEachFindsThePreviousDone) {
    UiRig rig;
    // What each step finds of the others, taken as it happens.
    std::vector<std::string> seen;
    rig.view.onCall = [&](const std::string& call) {
        std::string s = call.substr(0, call.find(' ', call.find(' ') + 1));
        s += rig.mixer.hMixer != 0 ? " mixer" : "";
        s += rig.mixerDevice->reads > 0 ? "+assigned" : "";
        s += rig.in.isOpen() ? " engine" : "";
        s += rig.window.drawingObjectsMade() ? " drawing" : "";
        s += rig.filters->prefilters.music.nTaps != 0 ? " filters" : "";
        seen.push_back(s);
    };
    rig.create(UiRig::choose(kIdRate44100, true));
    rig.view.onCall = {};
    const std::vector<std::string> expected = {
        "dialog 112",
        "title Tarnix",
        "popup menu mixer+assigned",
        "timer 275 mixer+assigned",
        "font metrics mixer+assigned engine drawing",
    };
    EXPECT_EQ(seen, expected);
    EXPECT_NE(rig.filters->prefilters.music.nTaps, 0u);
    EXPECT_EQ(rig.filters->prefilters.voiceLow.nTaps, 71u);

    // 44 kHz and simulated stereo: two blanks before the dash, 3 pixels a bin.
    EXPECT_EQ(rig.view.title, "Tarnix Digital Filter Program  - Simulated Stereo");
    EXPECT_EQ(rig.window.versionForListing(), "Version 1.3.3.6 - Simulated Stereo");
    EXPECT_STREQ(rig.mixer.pszVersion, "Version 1.3.3.6 - Simulated Stereo");
    EXPECT_EQ(rig.engine->sampleRate, 44100);
    EXPECT_EQ(rig.engine->simulatedStereo, 1u);
    EXPECT_EQ(rig.s().nScaleNum, 30);
    EXPECT_EQ(rig.s().nScaleDen, 10);
    EXPECT_EQ(rig.s().nTimerId, kTimerId);
    EXPECT_EQ(rig.view.timers.at(kTimerId), 1000u);
    EXPECT_EQ(rig.s().nCharWidth, 8);
    EXPECT_TRUE(rig.window.created());
}

TEST(MainWindowCreation, ScalesFollowTheRate) {
    const std::pair<int, int32_t> cases[] = {
        {kIdRate8000, 15}, {kIdRate11025, 15}, {kIdRate22050, 25}, {kIdRate44100, 30}};
    for (auto [button, num] : cases) {
        UiRig rig;
        rig.create(UiRig::choose(button, false));
        EXPECT_EQ(rig.s().nScaleNum, num);
        EXPECT_EQ(rig.s().nScaleNumDefault, num);
        EXPECT_EQ(rig.view.title, "Tarnix Digital Filter Program ");
    }
    // Accepting the dialog untouched: 11025 Hz, mono.
    UiRig rig;
    rig.create();
    EXPECT_EQ(rig.s().nSampleRate, 11025u);
    EXPECT_EQ(rig.s().bSimulatedStereo, 0u);

    // 22050 Hz: 2.5 pixels a bin; Zoom Horizontal fits bins 0..510 and keeps
    // them fitted through a resize; off again restores 2.5.
    UiRig wide;
    wide.create(UiRig::choose(kIdRate22050, false), 640);
    EXPECT_EQ(wide.s().nScaleNum * 10 / wide.s().nScaleDen, 25);
    wide.command(ID_ZOOM_HORIZONTAL);
    EXPECT_EQ(wide.s().nScaleNum, 640);
    EXPECT_EQ(wide.s().nScaleDen, 511);
    wide.send(kWmSize, kSizeRestored, sizeParam(900, 400));
    EXPECT_EQ(wide.s().nScaleNum, 900);
    EXPECT_EQ(wide.s().nClientHeight, 400);
    wide.command(ID_ZOOM_HORIZONTAL);
    EXPECT_EQ(wide.s().nScaleNum, 25);
    EXPECT_EQ(wide.s().nScaleDen, 10);
}

TEST(MainWindowCreation, DisagreeEndsWithExitCodeZeroAndMakesNothing) {
    UiRig rig;
    rig.create([](DialogModel& d) { d.command(kIdCancel); });
    EXPECT_TRUE(rig.window.destroyed());
    EXPECT_FALSE(rig.window.created());
    EXPECT_EQ(rig.host.exitCode(), 0);
    EXPECT_EQ(rig.host.quitPosts, 1);
    EXPECT_FALSE(rig.mixerDevice->isOpen());
    EXPECT_TRUE(rig.mixerDevice->writes.empty());  // no shutdown routing either
    EXPECT_FALSE(rig.in.isOpen());
    EXPECT_TRUE(rig.view.timers.empty());
    EXPECT_TRUE(rig.view.title.empty());
    EXPECT_EQ(rig.view.calls, (std::vector<std::string>{"dialog 112", "destroy window"}));
    EXPECT_EQ(rig.filters->prefilters.music.nTaps, 0u);
}

TEST(MainWindowLife, FirstTickOpensTheLevelDialogRoutesAndGraysOnce) {
    UiRig rig;
    rig.create();
    EXPECT_TRUE(rig.enabled(ID_AVERAGING));
    rig.tick();
    EXPECT_EQ(rig.s().bFirstTickDone, 1u);
    EXPECT_TRUE(rig.view.isOpen(rig.window.audioLevelDialog()));
    EXPECT_EQ(rig.mixer.dwMasterMute, 0u);
    EXPECT_EQ(rig.mixer.dwLineOutMute, 1u);
    EXPECT_EQ(rig.mixer.dwWaveOutMute, 0u);
    for (uint32_t id : kGrayedAfterFirstTick)
        EXPECT_FALSE(rig.enabled(id)) << id;
    EXPECT_EQ(rig.view.invalidations, 1);
    const size_t writes = rig.mixerDevice->writes.size();

    // Later ticks only repaint, and not while minimised.
    rig.tick();
    EXPECT_EQ(rig.view.dialogsShown, (std::vector<int>{112, 118}));
    EXPECT_EQ(rig.mixerDevice->writes.size(), writes);
    EXPECT_EQ(rig.view.invalidations, 2);
    rig.view.minimised = true;
    rig.tick();
    EXPECT_EQ(rig.view.invalidations, 2);

    // The level dialog follows the mixer's notifications.
    const int refreshes = rig.view.refreshes;
    rig.mixerDevice->control(rig.mixer.dwMasterVolumeCtrl)->values[0] = 1234;
    rig.send(platform::kMmMixmControlChange, 0, rig.mixer.dwMasterVolumeCtrl);
    EXPECT_EQ(rig.window.audioLevelDialog().scrollPosition(mixer_ui::IDC_MASTER_VOLUME), 1234);
    EXPECT_EQ(rig.view.refreshes, refreshes + 1);
}

TEST(MainWindowLife, ExitRestoresTheMixerClosesAudioAndQuits) {
    UiRig rig;
    rig.create();
    rig.tick();
    rig.command(ID_EXIT);
    EXPECT_TRUE(rig.window.destroyed());
    EXPECT_EQ(rig.mixer.dwLineOutMute, 0u);  // every path audible again
    EXPECT_FALSE(rig.mixerDevice->isOpen());
    EXPECT_FALSE(rig.in.isOpen());
    EXPECT_FALSE(rig.out.isOpen());
    EXPECT_TRUE(rig.view.timers.empty());
    EXPECT_EQ(rig.host.quitPosts, 2);  // the audio window's and the main window's
    EXPECT_EQ(rig.host.run(), 0);
    // Messages after the end change nothing.
    rig.command(ID_EQUALIZER);
    EXPECT_EQ(rig.engine->equalizerOn, 1u);
}

TEST(CommandTable, MatchesTheMenusOneToOne) {
    std::multiset<uint32_t> inMenu;
    forEachMenuItem(kMainMenu.bar, [&](const MenuNode& n) { inMenu.insert(n.id); });
    std::multiset<uint32_t> inTable;
    for (const CommandInfo& c : kCommandTable)
        inTable.insert(c.id);
    EXPECT_EQ(inMenu, inTable);
    EXPECT_EQ(inTable.size(), std::set<uint32_t>(inTable.begin(), inTable.end()).size());
    std::vector<uint32_t> popup;
    forEachMenuItem(kPopupMenuResource.bar[0].children,
                    [&](const MenuNode& n) { popup.push_back(n.id); });
    EXPECT_EQ(popup, (std::vector<uint32_t>{ID_RESELECT, ID_SELECT_ALL, ID_PASS_BAND, ID_STOP_BAND,
                                            ID_MINIMUM_AMPLITUDE, ID_RESET_MIN_AMPLITUDES}));
}

TEST(CommandTable, RadioGroupsKeepExactlyOneMarkAndSetTheirValues) {
    UiRig rig;
    rig.create();
    auto marks = [&](RadioGroup g) {
        int n = 0;
        for (uint32_t id : radioGroupItems(g))
            n += rig.checked(id);
        return n;
    };
    EXPECT_EQ(marks(RadioGroup::ZoomVertical), 0);  // Normal in effect, unchecked
    for (RadioGroup g : {RadioGroup::ZoomVertical, RadioGroup::Prefilter, RadioGroup::Heterodyne,
                         RadioGroup::Exponential, RadioGroup::NoiseFloor}) {
        for (uint32_t id : radioGroupItems(g)) {
            rig.command(id);
            EXPECT_EQ(marks(g), 1) << id;
            EXPECT_TRUE(rig.checked(id)) << id;
        }
    }
    const std::pair<uint32_t, double> exponential[] = {
        {ID_EXPONENTIAL_09, 0.9}, {ID_EXPONENTIAL_08, 0.8}, {ID_EXPONENTIAL_03, 0.3}};
    for (auto [id, factor] : exponential) {
        rig.command(id);
        EXPECT_EQ(rig.engine->exponentialFactor, factor);
    }
    rig.command(ID_NOISE_FLOOR_150);
    EXPECT_EQ(rig.engine->noiseFloorFactor, 2.5);
    rig.command(ID_NOISE_FLOOR_30);
    EXPECT_EQ(rig.engine->noiseFloorFactor, 0.3);
    const std::pair<uint32_t, double> zoom[] = {
        {ID_ZOOM_IN, 30.0}, {ID_ZOOM_OUT, 3600.0}, {ID_ZOOM_NORMAL, 600.0}};
    for (auto [id, perPixel] : zoom) {
        rig.command(id);
        EXPECT_EQ(rig.s().dAmplitudePerPixel, perPixel);
    }
    rig.command(ID_PREFILTER_MUSIC);
    EXPECT_EQ(rig.engine->musicPrefilterOn, 1u);
    EXPECT_EQ(rig.engine->voicePrefilterOn, 0u);
    rig.command(ID_HETERODYNE_SLOW);
    EXPECT_EQ(rig.engine->heterodyneMode, 20u);
}

TEST(CommandTable, TogglesFlipTheirFieldAndMark) {
    UiRig rig;
    rig.create();
    struct Toggle {
        uint32_t id;
        const uint32_t* field;
    } toggles[] = {
        {ID_EQUALIZER, &rig.engine->equalizerOn},
        {ID_EXPANDOR, &rig.engine->expandorOn},
        {ID_SHOW_PEAKS, &rig.engine->showPeaks},
        {ID_LMS_FILTER, &rig.engine->lmsFilterOn},
        {ID_LINEAR_COMBINER, &rig.engine->linearCombinerOn},
        {ID_SPEECH_ENHANCEMENT, &rig.engine->enhancement.on},
        {ID_NOISE_BLANKER, &rig.engine->blankerOn},
        {ID_SHOW_OUTPUT, &rig.engine->showOutput},
        {ID_SHOW_MIN_AMPLITUDE, &rig.s().bShowMinAmplitude},
        {ID_ZOOM_HORIZONTAL, &rig.s().bZoomHorizontal},
    };
    for (const Toggle& t : toggles) {
        const uint32_t before = *t.field;
        EXPECT_EQ(rig.checked(t.id), before == 1) << t.id;
        rig.command(t.id);
        EXPECT_EQ(*t.field, before == 0 ? 1u : 0u) << t.id;
        EXPECT_EQ(rig.checked(t.id), *t.field == 1) << t.id;
    }
}

// While enhancement is on, the equalizer and the noise-floor items are grayed
// with their marks and settings kept; off, they are enabled again.
TEST(CommandTable, EnhancementGraysWhatItSetsAside) {
    UiRig rig;
    rig.create();
    rig.command(ID_NOISE_FLOOR_30);
    rig.command(ID_SPEECH_ENHANCEMENT);
    EXPECT_FALSE(rig.enabled(ID_EQUALIZER));
    EXPECT_TRUE(rig.checked(ID_EQUALIZER));
    for (uint32_t id : kNoiseFloorCommands)
        EXPECT_FALSE(rig.enabled(id)) << id;
    EXPECT_TRUE(rig.checked(ID_NOISE_FLOOR_30));
    EXPECT_EQ(rig.engine->equalizerOn, 1u);
    EXPECT_EQ(rig.engine->noiseFloorFactor, 0.3);
    EXPECT_TRUE(rig.enabled(ID_EXPANDOR));
    rig.command(ID_SPEECH_ENHANCEMENT);
    EXPECT_TRUE(rig.enabled(ID_EQUALIZER));
    for (uint32_t id : kNoiseFloorCommands)
        EXPECT_TRUE(rig.enabled(id)) << id;
    EXPECT_TRUE(rig.checked(ID_NOISE_FLOOR_30));
}

TEST(CommandTable, ItemsWithoutEffectChangeNothing) {
    UiRig rig;
    rig.create();
    const auto snapshot = [&] {
        const CAudioEngine& e = *rig.engine;
        return std::vector<double>{double(e.averagingOn),    double(e.equalizerOn),
                                   double(e.expandorOn),     double(e.lmsFilterOn),
                                   double(e.heterodyneMode), e.noiseFloorFactor,
                                   e.exponentialFactor,      double(e.bandMask[100])};
    };
    const auto before = snapshot();
    for (uint32_t id :
         std::initializer_list<uint32_t>{ID_AVERAGING, ID_COMPRESSOR, ID_LINEAR_PREDICTION,
                                         ID_RECURSIVE_LEAST_SQUARES, ID_KALMAN_FILTER, 40999u}) {
        rig.command(id);
        EXPECT_FALSE(rig.checked(id));
    }
    EXPECT_EQ(snapshot(), before);
    // A preset changes the mask and no mark.
    rig.command(ID_STOP_ALL);
    EXPECT_EQ(rig.engine->bandMask[100], 1u);
    EXPECT_FALSE(rig.checked(ID_STOP_ALL));
}

TEST(Dialogs, QuickHelpOpensOnceAndAgainAfterClosing) {
    UiRig rig;
    rig.create();
    rig.command(ID_QUICK_HELP);
    rig.command(ID_QUICK_HELP);
    EXPECT_EQ(rig.view.raises, 1);
    EXPECT_TRUE(rig.window.quickHelp().isOpen());
    rig.view.dialogCommand(rig.window.quickHelp(), kIdCancel);  // Escape
    EXPECT_FALSE(rig.window.quickHelp().isOpen());
    rig.command(ID_QUICK_HELP);
    EXPECT_EQ(std::count(rig.view.dialogsShown.begin(), rig.view.dialogsShown.end(), 127), 2);
}

TEST(Dialogs, ModelsGiveTheirTextsAndResults) {
    UiRig rig;
    rig.create();
    std::optional<std::string> version;
    rig.view.onModalDialog = [&](DialogModel& d) { version = d.text(kIdVersionText); };
    rig.command(ID_ABOUT);
    EXPECT_EQ(version, "Version 1.3.3.6");

    WelcomeDialog welcome;
    welcome.initDialog();
    EXPECT_TRUE(welcome.checked(kIdRate11025));
    const auto lines = welcome.listItems(kIdNoticeList);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "This program requires a 200Mhz PC (or faster) to run."),
              lines.end());
    welcome.command(kIdRate8000);
    EXPECT_FALSE(welcome.checked(kIdRate11025));
    welcome.command(kIdOk);
    EXPECT_EQ(welcome.result(), 1);
    EXPECT_EQ(welcome.nSampleRate, 8000u);

    // The record assignment dialog lists the card's lines, through the same interface.
    std::vector<std::string> destinations;
    rig.view.onModalDialog = [&](DialogModel& d) {
        destinations = d.listItems(mixer_ui::IDC_DESTINATION_LIST);
    };
    rig.command(ID_RECORDING_ASSIGNMENTS);
    EXPECT_FALSE(destinations.empty());
}

}  // namespace
