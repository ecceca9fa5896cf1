#include "mixer/level_controls.h"

#include "mixer/dialog_templates.h"
#include "mixer_fixture.h"

using namespace platform;
using namespace dialogs;
using namespace mixer_ui;

namespace {

class LevelTest : public MixerTest {
  protected:
    void SetUp() override {
        MixerTest::SetUp();
        start("classic.json");
        input = mixer.dwWaveInVolumeCtrl;
        ASSERT_NE(input, kMixerNone);
    }
    // Sets the device and the cache to a level, then runs one block.
    void levelAt(uint32_t v) {
        card->control(input)->values[0] = v;
        mixer.dwWaveInVolume = v;
    }
    uint32_t block(int32_t peak) {
        level.adjustInputLevel(peak);
        EXPECT_EQ(peak, 0);
        return mixer.dwWaveInVolume;
    }

    AutoInputLevel level{mixer};
    uint32_t input = kMixerNone;
};

TEST_F(LevelTest, ClippingHalvesOrRestartsTheLevel) {
    level.nAutoLevelStep = 5;
    levelAt(61440);
    EXPECT_EQ(block(32001), 4096u);
    levelAt(61439);
    EXPECT_EQ(block(32001), 30719u);
    EXPECT_EQ(value(input), 30719u);
    EXPECT_EQ(level.nAutoLevelStep, 5);
    levelAt(30000);
    EXPECT_EQ(block(32000), 30000u - 70);  // not clipping: e = -70
    EXPECT_EQ(level.nAutoLevelStep, -1);
}

TEST_F(LevelTest, DeadBandEdges) {
    levelAt(30000);
    EXPECT_EQ(block(8880), 30020u);
    EXPECT_EQ(level.nAutoLevelStep, 1);
    const size_t writes = card->writes.size();
    EXPECT_EQ(block(8881), 30020u);
    EXPECT_EQ(level.nAutoLevelStep, 0);
    EXPECT_EQ(block(19119), 30020u);
    EXPECT_EQ(card->writes.size(), writes);
    EXPECT_EQ(block(19120), 30000u);
    EXPECT_EQ(level.nAutoLevelStep, -1);
}

TEST_F(LevelTest, SilenceAcceleratesUpToTwentyTimesThenSlowsAbove49152) {
    levelAt(30000);
    uint32_t expected = 30000;
    for (int32_t k = 1; k <= 22; ++k) {
        expected += 54 * std::min(k, 20);
        if (expected >= 49152) break;
        ASSERT_EQ(block(0), expected) << k;
    }
    levelAt(49151);
    level.nAutoLevelStep = 3;
    EXPECT_EQ(block(0), 49151u + 54 * 4);
    EXPECT_EQ(block(0), 49151u + 54 * 5);  // now above 49152: one e per block
    EXPECT_EQ(level.nAutoLevelStep, 1);
    // 49152 itself is in the slow region, both ways.
    levelAt(49152);
    level.nAutoLevelStep = 3;
    EXPECT_EQ(block(0), 49152u + 54);
    levelAt(49152);
    level.nAutoLevelStep = -3;
    EXPECT_EQ(block(30000), 49152u - 2 * 62);
    // Loud above 49152: two e per block down, whatever the step was.
    levelAt(50000);
    level.nAutoLevelStep = -7;
    EXPECT_EQ(block(30000), 50000u - 2 * 62);
    EXPECT_EQ(level.nAutoLevelStep, -2);
    // A change of direction restarts the acceleration.
    levelAt(20000);
    EXPECT_EQ(block(0), 20054u);
    EXPECT_EQ(level.nAutoLevelStep, 1);
}

TEST_F(LevelTest, ARaisePast65535WritesNothingAndTakesTheDeviceLevel) {
    levelAt(65500);
    card->control(input)->values[0] = 65510;  // the device moved on its own
    const size_t writes = card->writes.size();
    EXPECT_EQ(block(0), 65510u);
    EXPECT_EQ(card->writes.size(), writes);
    // Below 0 likewise.
    levelAt(10);
    EXPECT_EQ(block(30000), 10u);
}

TEST_F(LevelTest, OffOnlyConsumesThePeak) {
    mixer.bAutoInputLevelOff = 1;
    levelAt(30000);
    level.nAutoLevelStep = 4;
    EXPECT_EQ(block(0), 30000u);
    EXPECT_EQ(block(32767), 30000u);
    EXPECT_EQ(level.nAutoLevelStep, 4);
}

TEST_F(LevelTest, ClosesItsLoopThroughTheSimulatedCard) {
    // A steady receiver whose block peak is 20000 at full recording gain.
    int32_t peak = 0;
    for (int i = 0; i < 400; ++i) {
        peak = static_cast<int32_t>(20000 * card->recordingGain());
        int32_t p = peak;
        level.adjustInputLevel(p);
        host.runUntilIdle();
    }
    EXPECT_GE(peak, 8881);
    EXPECT_LE(peak, 19119);
    EXPECT_EQ(level.nAutoLevelStep, 0);
}

// The main window's part: notifications refresh the cache and the dialog.
struct MainWindowStub : MessageTarget {
    CMixerExtend* mixer = nullptr;
    AudioLevelDialog* dialog = nullptr;
    intptr_t handleMessage(uint32_t message, uintptr_t, intptr_t lParam) override {
        if (message == kMmMixmControlChange) mixer->controlChanged(static_cast<uint32_t>(lParam));
        if (message == kMmMixmLineChange) mixer->lineChanged(static_cast<uint32_t>(lParam));
        dialog->updateAudioLevelDialog();
        return 0;
    }
};

class LevelDialogTest : public HostTest {
  protected:
    void SetUp() override {
        HostTest::SetUp();
        main.mixer = &mixer;
        main.dialog = &dialog;
        card = sim::loadSimMixer(fixturePath("classic.json"));
        mixer.initialize(card.get(), &main, "v");
        mixer.startUpAssignment();
        mixer.refreshLevels();
    }
    uint32_t value(uint32_t id) { return card->control(id)->values[0]; }
    std::vector<uint32_t> writtenIds() const {
        std::vector<uint32_t> ids;
        for (const auto& w : card->writes)
            ids.push_back(w.first);
        return ids;
    }

    MainWindowStub main;
    std::unique_ptr<sim::SimMixer> card;
    CMixerExtend mixer;
    AudioLevelDialog dialog{mixer};
};

TEST_F(LevelDialogTest, OpensOnceAndShowsTheCachedValues) {
    mixer.dwLineOutMute = 1;
    EXPECT_TRUE(dialog.showAudioLevelDialog());
    EXPECT_FALSE(dialog.showAudioLevelDialog());
    EXPECT_FALSE(dialog.initDialog());
    EXPECT_EQ(dialog.timesRaised(), 1);
    EXPECT_TRUE(dialog.rangeSet());
    EXPECT_TRUE(dialog.isChecked(IDC_MASTER_MUTE));
    EXPECT_FALSE(dialog.isChecked(IDC_UNFILTERED));
    EXPECT_TRUE(dialog.isChecked(IDC_FILTERED));
    EXPECT_TRUE(dialog.isChecked(IDC_AUTO_INPUT_LEVEL));
    EXPECT_EQ(dialog.thumb(IDC_MASTER_VOLUME), 49152u);
    EXPECT_EQ(dialog.thumb(IDC_WAVE_IN_VOLUME), 4096u);
    EXPECT_TRUE(dialog.command(kIdCancel));
    EXPECT_FALSE(dialog.isOpen());
    EXPECT_TRUE(dialog.showAudioLevelDialog());
}

TEST_F(LevelDialogTest, RoutingWritesInOrder) {
    dialog.showAudioLevelDialog();
    card->writes.clear();
    dialog.command(IDC_UNFILTERED);
    EXPECT_EQ(writtenIds(), (std::vector<uint32_t>{3, 9}));
    EXPECT_EQ(mixer.dwLineOutMute, 0u);
    EXPECT_EQ(mixer.dwWaveOutMute, 1u);
    EXPECT_FALSE(card->isAudible(kMixerLineComponentTypeSrcWaveOut));
    card->writes.clear();
    dialog.command(IDC_FILTERED);
    EXPECT_EQ(writtenIds(), (std::vector<uint32_t>{3, 9}));
    EXPECT_EQ(card->writes[0].second[0], 1u);
    EXPECT_EQ(card->writes[1].second[0], 0u);
    EXPECT_TRUE(card->isAudible(kMixerLineComponentTypeSrcWaveOut));
    EXPECT_FALSE(card->isAudible(kMixerLineComponentTypeSrcLine));

    applyShutdownRouting(mixer);
    EXPECT_TRUE(card->isAudible(kMixerLineComponentTypeSrcLine));
    EXPECT_TRUE(card->isAudible(kMixerLineComponentTypeSrcWaveOut));
    applyStartUpRouting(mixer);
    EXPECT_FALSE(card->isAudible(kMixerLineComponentTypeSrcLine));
    EXPECT_TRUE(card->isAudible(kMixerLineComponentTypeSrcWaveOut));
}

TEST_F(LevelDialogTest, MasterAndAutoCheckBoxesToggle) {
    dialog.showAudioLevelDialog();
    dialog.command(IDC_MASTER_MUTE);
    EXPECT_EQ(value(1), 1u);
    dialog.command(IDC_MASTER_MUTE);
    EXPECT_EQ(value(1), 0u);
    dialog.command(IDC_AUTO_INPUT_LEVEL);
    EXPECT_EQ(mixer.bAutoInputLevelOff, 1u);
    EXPECT_FALSE(dialog.isChecked(IDC_AUTO_INPUT_LEVEL));
    dialog.command(IDC_AUTO_INPUT_LEVEL);
    EXPECT_EQ(mixer.bAutoInputLevelOff, 0u);
    EXPECT_FALSE(dialog.command(4711));

    // Without a master mute control nothing is written.
    mixer.dwMasterMuteCtrl = kMixerNone;
    card->writes.clear();
    dialog.command(IDC_MASTER_MUTE);
    EXPECT_TRUE(card->writes.empty());
}

struct Scroll {
    uint32_t from;
    int code;
    uint16_t position;
    uint32_t to;
};

TEST_F(LevelDialogTest, ScrollCodesMoveAndClampTheLevel) {
    dialog.showAudioLevelDialog();
    const Scroll cases[] = {
        {65500, kSbLineRight, 0, 65535},   {150, kSbLineLeft, 0, 50},
        {3000, kSbPageLeft, 0, 0},         {62000, kSbPageRight, 0, 65535},
        {100, kSbLeft, 0, 65535},          {40000, kSbRight, 0, 0},
        {10, kSbThumbTrack, 54321, 54321}, {777, kSbThumbPosition, 9, 777},
        {778, kSbEndScroll, 9, 778},
    };
    for (const Scroll& c : cases) {
        mixer.dwLineOutVolume = c.from;
        EXPECT_TRUE(dialog.horizontalScroll(IDC_LINE_OUT_VOLUME, c.code, c.position));
        EXPECT_EQ(mixer.dwLineOutVolume, c.to) << c.code;
        EXPECT_EQ(value(2), c.to) << c.code;
    }
    EXPECT_FALSE(dialog.horizontalScroll(4711, kSbLineRight, 0));
}

TEST_F(LevelDialogTest, ThumbFollowsTheDeviceThroughTheNotification) {
    dialog.showAudioLevelDialog();
    dialog.horizontalScroll(IDC_MASTER_VOLUME, kSbThumbTrack, 1000);
    EXPECT_EQ(dialog.thumb(IDC_MASTER_VOLUME), 49152u);  // not moved by the procedure
    host.runUntilIdle();
    EXPECT_EQ(dialog.thumb(IDC_MASTER_VOLUME), 1000u);

    // A level without a control is neither written nor cached.
    mixer.dwWaveOutVolumeCtrl = kMixerNone;
    card->writes.clear();
    dialog.horizontalScroll(IDC_WAVE_OUT_VOLUME, kSbLeft, 0);
    EXPECT_TRUE(card->writes.empty());
    EXPECT_EQ(mixer.dwWaveOutVolume, 50000u);
}

}  // namespace
