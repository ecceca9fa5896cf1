#include "mixer/assignment_dialogs.h"

#include "mixer/dialog_templates.h"
#include "mixer_fixture.h"

using namespace platform;
using namespace mixer_ui;

namespace {

using Strings = std::vector<std::string>;

TEST_F(MixerTest, RecordDialogListsAndRefusesAWrongDestination) {
    start("classic.json");
    RecordAssignmentDialog dialog(mixer);
    EXPECT_TRUE(dialog.initDialog());
    EXPECT_EQ(dialog.list(IDC_DESTINATION_LIST).items, (Strings{"Speakers", "Recording Control"}));
    EXPECT_EQ(dialog.list(IDC_DESTINATION_LIST).selection, 1);
    EXPECT_EQ(dialog.list(IDC_SOURCE_LIST).items, (Strings{"Microphone", "Line In", "Stereo Mix"}));
    EXPECT_EQ(dialog.list(IDC_SOURCE_LIST).selection, 1);

    dialog.listSelectionChanged(IDC_DESTINATION_LIST, 0);
    EXPECT_EQ(texts(), Strings{"Invalid recording destination assignment"});
    EXPECT_EQ(dialog.list(IDC_DESTINATION_LIST).selection, 1);  // jumps back

    // A new source: the level restarts at 4096 and the list selects it.
    card->control(12)->values[0] = 777;
    dialog.listSelectionChanged(IDC_SOURCE_LIST, 0);
    EXPECT_EQ(dialog.list(IDC_SOURCE_LIST).selection, 0);
    EXPECT_EQ(value(12), 4096u);
    EXPECT_EQ(card->control(11)->values, (std::vector<uint32_t>{1, 0, 0}));
    EXPECT_FALSE(dialog.listSelectionChanged(IDC_SOURCE_LIST, -1));
    EXPECT_EQ(mixer.dwRecordSrc, 0u);

    EXPECT_FALSE(dialog.ended());
    EXPECT_TRUE(dialog.command(kIdOk));
    EXPECT_TRUE(dialog.ended());
    EXPECT_EQ(dialog.result(), 0);
}

TEST_F(MixerTest, PlaybackDialogRechoosesSourcesForANewDestination) {
    startJson(R"({"destinations":[
        {"type":"DST_SPEAKERS","name":"Front","sources":[
            {"type":"SRC_LINE","name":"Line","controls":[{"type":"MUTE"}]},
            {"type":"SRC_WAVEOUT","name":"Wave","controls":[{"type":"MUTE"}]}]},
        {"type":"DST_SPEAKERS","name":"Rear","sources":[
            {"type":"SRC_WAVEOUT","name":"Rear Wave","controls":[{"type":"VOLUME"}]},
            {"type":"SRC_MICROPHONE","name":"Rear Mic","controls":[{"type":"VOLUME"}]}]}]})");
    PlaybackAssignmentDialog dialog(mixer);
    dialog.initDialog();
    EXPECT_EQ(dialog.list(IDC_SOURCE_LIST).selection, 0);
    EXPECT_EQ(dialog.list(IDC_WAVE_OUT_LIST).selection, 1);

    dialog.listSelectionChanged(IDC_DESTINATION_LIST, 1);
    EXPECT_EQ(dialog.list(IDC_DESTINATION_LIST).selection, 1);
    EXPECT_EQ(dialog.list(IDC_WAVE_OUT_LIST).items, (Strings{"Rear Wave", "Rear Mic"}));
    EXPECT_EQ(dialog.list(IDC_SOURCE_LIST).selection, 1);
    EXPECT_EQ(dialog.list(IDC_WAVE_OUT_LIST).selection, 0);

    // Any source is taken, without a type check.
    dialog.listSelectionChanged(IDC_WAVE_OUT_LIST, 1);
    EXPECT_EQ(mixer.dwWaveOutSrc, 1u);
    EXPECT_EQ(mixer.dwWaveOutVolumeCtrl, mixer.dwLineOutVolumeCtrl);
    dialog.listSelectionChanged(IDC_SOURCE_LIST, 0);
    EXPECT_EQ(dialog.list(IDC_SOURCE_LIST).selection, 0);
    EXPECT_EQ(dialog.list(IDC_WAVE_OUT_LIST).selection, 1);
    EXPECT_EQ(texts(), Strings{"Unable to find a recording destination"});
}

TEST_F(MixerTest, DialogsShowUnreadableLinesAndNoMixer) {
    start("destination_info_fails.json");
    RecordAssignmentDialog record(mixer);
    record.initDialog();
    EXPECT_EQ(record.list(IDC_DESTINATION_LIST).items, (Strings{"", "Speakers", "Recording"}));
    EXPECT_EQ(record.list(IDC_DESTINATION_LIST).selection, 2);

    CMixerExtend none;
    auto noCard = sim::loadSimMixer(fixturePath("no_mixer.json"));
    none.initialize(noCard.get(), &window, "v");
    none.startUpAssignment();
    PlaybackAssignmentDialog playback(none);
    playback.initDialog();
    for (int id : {IDC_DESTINATION_LIST, IDC_SOURCE_LIST, IDC_WAVE_OUT_LIST}) {
        EXPECT_TRUE(playback.list(id).items.empty());
        EXPECT_EQ(playback.list(id).selection, -1);
    }
}

TEST(DialogTemplates, KeepTheirIdentifiersAndTexts) {
    EXPECT_EQ(kAudioLevelDialog.resourceId, 118);
    EXPECT_EQ(kAudioLevelDialog.items.size(), 8u);
    EXPECT_STREQ(kAudioLevelDialog.items[6].text, "Auto &Input Level");
    EXPECT_EQ(kPlaybackAssignmentDialog.items.size(), 10u);
    EXPECT_EQ(kRecordAssignmentDialog.items.size(), 8u);
    EXPECT_EQ(kDumpDialog.resourceId, 123);
}

}  // namespace
