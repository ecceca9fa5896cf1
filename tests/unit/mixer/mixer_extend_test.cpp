#include "mixer_fixture.h"

using namespace platform;

namespace {

using Strings = std::vector<std::string>;

// A card whose speaker destination has the given sources (type, short name),
// each with a volume and a mute, plus a recording destination with the same
// sources and a list control.
std::string cardWith(const std::vector<std::pair<std::string, std::string>>& sources) {
    std::string list;
    for (const auto& [type, name] : sources) {
        if (!list.empty()) list += ",";
        list += R"({"type":")" + type + R"(","shortName":")" + name + R"(","name":")" + name +
                R"(","controls":[{"type":"VOLUME"},{"type":"MUTE","value":1}]})";
    }
    return R"({"destinations":[{"type":"DST_SPEAKERS","controls":[{"type":"VOLUME"}],"sources":[)" +
           list + R"(]},{"type":"DST_WAVEIN","controls":[{"type":"MUX"}],"sources":[)" + list +
           "]}]}";
}

struct Choice {
    std::vector<std::pair<std::string, std::string>> sources;
    uint32_t expected;
};

TEST_F(MixerTest, SourceChoiceRules) {
    const Choice cases[] = {
        // The line source beats an earlier auxiliary "Line...".
        {{{"SRC_WAVEOUT", "Wave"},
          {"SRC_AUXILIARY", "Line In"},
          {"SRC_MICROPHONE", "Mic"},
          {"SRC_LINE", "Line"}},
         3},
        // Of two auxiliary "Line..." sources the later one.
        {{{"SRC_AUXILIARY", "Line A"}, {"SRC_MICROPHONE", "Mic"}, {"SRC_AUXILIARY", "LineB"}}, 2},
        // "line" and other auxiliaries never; then the last microphone.
        {{{"SRC_MICROPHONE", "Mic 1"},
          {"SRC_AUXILIARY", "line in"},
          {"SRC_MICROPHONE", "Mic 2"},
          {"SRC_AUXILIARY", "Aux"},
          {"SRC_AUXILIARY", "Lin"}},
         2},
        // A candidate at index 0 counts.
        {{{"SRC_LINE", "Line"}, {"SRC_MICROPHONE", "Mic"}}, 0},
        {{{"SRC_WAVEOUT", "Wave"}, {"SRC_AUXILIARY", "CD"}}, kMixerNone},
    };
    for (const Choice& c : cases) {
        auto card = sim::parseSimMixer(cardWith(c.sources));
        CMixerExtend m;
        m.initialize(card.get(), &window, "v");
        EXPECT_EQ(CMixerExtend::chooseSource(m.pasCMixerMixerLine_dest[0]), c.expected)
            << c.sources.size();
    }
}

TEST_F(MixerTest, StartUpAssignmentOnTheClassicCard) {
    start("classic.json");
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(mixer.dwPlaybackDest, 0u);
    EXPECT_EQ(mixer.dwLineOutSrc, 0u);
    EXPECT_EQ(mixer.dwWaveOutSrc, 3u);
    EXPECT_EQ(mixer.dwMasterVolumeCtrl, 0u);
    EXPECT_EQ(mixer.dwMasterMuteCtrl, 1u);
    EXPECT_EQ(mixer.dwLineOutVolumeCtrl, 2u);
    EXPECT_EQ(mixer.dwWaveOutMuteCtrl, 9u);
    EXPECT_EQ(mixer.dwRecordDest, 1u);
    EXPECT_EQ(mixer.dwRecordSrc, 1u);
    EXPECT_EQ(mixer.dwMuxCtrl, 11u);
    EXPECT_EQ(mixer.dwMuxMult, 3u);
    EXPECT_EQ(mixer.dwMasterVolumeInCtrl, 10u);
    EXPECT_EQ(mixer.dwWaveInVolumeCtrl, 14u);
    EXPECT_EQ(mixer.dwWaveInMuteCtrl, 15u);
    // Cached values are not read at start-up, except the input level.
    EXPECT_EQ(mixer.dwMasterVolume, 0u);
    EXPECT_EQ(mixer.dwWaveInVolume, 4096u);
    EXPECT_EQ(value(14), 4096u);
    EXPECT_EQ(value(15), 0u);      // recording source unmuted
    EXPECT_EQ(value(10), 32767u);  // master volume in at half
    EXPECT_EQ(card->control(11)->values, (std::vector<uint32_t>{0, 1, 0}));
    EXPECT_DOUBLE_EQ(card->recordingGain(), 4096 / 65535.0);
    // Source mute, master volume in, input level, then the input selection.
    std::vector<uint32_t> order;
    for (const auto& w : card->writes)
        order.push_back(w.first);
    EXPECT_EQ(order, (std::vector<uint32_t>{15, 10, 14, 11}));
}

TEST_F(MixerTest, SecondRecordingVolumeIsMasterVolumeIn) {
    start("two_record_volumes.json");
    EXPECT_EQ(mixer.dwMasterVolumeInCtrl, 2u);
    EXPECT_EQ(value(2), 32767u);
    EXPECT_EQ(value(0), 100u);
    EXPECT_EQ(mixer.dwMuxCtrl, 1u);
    EXPECT_EQ(mixer.dwRecordSrc, 0u);
}

TEST_F(MixerTest, FirstListControlIsTheInputSelector) {
    startJson(R"({"destinations":[{"type":"DST_WAVEIN","controls":[
                    {"type":"PEAKMETER"},{"type":"MIXER","items":2},{"type":"MUX","items":2}],
                  "sources":[{"type":"SRC_MICROPHONE","controls":[{"type":"VOLUME"}]},
                             {"type":"SRC_LINE","controls":[{"type":"VOLUME"}]}]}]})");
    EXPECT_EQ(mixer.dwMuxCtrl, 1u);
    EXPECT_EQ(mixer.dwMuxMult, 2u);
    EXPECT_EQ(mixer.dwMasterVolumeInCtrl, kMixerNone);
    EXPECT_EQ(card->control(1)->values, (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(card->control(2)->values, (std::vector<uint32_t>{1, 0}));
}

TEST_F(MixerTest, RecordingWithoutListControlUsesTheSourceMute) {
    start("no_list_control.json");
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(mixer.dwMuxCtrl, kMixerNone);
    EXPECT_EQ(mixer.dwMuxMult, kMixerNone);
    EXPECT_EQ(mixer.dwWaveInMuteCtrl, 8u);
    EXPECT_EQ(value(8), 0u);
    EXPECT_DOUBLE_EQ(card->recordingGain(), 4096 / 65535.0);
}

TEST_F(MixerTest, RecordingWithoutListOrMuteIsRefused) {
    startJson(R"({"destinations":[{"type":"DST_WAVEIN","controls":[{"type":"VOLUME"}],
                  "sources":[{"type":"SRC_LINE","controls":[{"type":"VOLUME"}]}]}]})");
    EXPECT_EQ(texts(), (Strings{"Unable to find destination 'Speakers'",
                                "Unable to identify proper recording controls"}));
    EXPECT_EQ(mixer.dwRecordDest, kMixerNone);
    EXPECT_EQ(mixer.dwRecordSrc, kMixerNone);
    EXPECT_TRUE(card->writes.empty());
}

TEST_F(MixerTest, NoWaveOutSourceLeavesPlaybackUnassigned) {
    start("no_waveout.json");
    EXPECT_EQ(texts(), Strings{"Unable to find appropriate source for waveout destination"});
    EXPECT_EQ(host.boxes[0].caption, "CMixerExtend::setDefaultPlayback");
    for (uint32_t f : {mixer.dwPlaybackDest, mixer.dwLineOutSrc, mixer.dwWaveOutSrc,
                       mixer.dwMasterVolumeCtrl, mixer.dwMasterMuteCtrl, mixer.dwLineOutVolumeCtrl,
                       mixer.dwLineOutMuteCtrl, mixer.dwWaveOutVolumeCtrl, mixer.dwWaveOutMuteCtrl})
        EXPECT_EQ(f, kMixerNone);
    EXPECT_EQ(mixer.dwRecordSrc, 1u);
}

TEST_F(MixerTest, RefusedAssignmentsKeepTheOldOnesAndTheirControls) {
    start("classic.json");
    mixer.applyPlaybackAssignment(1, kMixerNone, kMixerNone);
    mixer.applyRecordingAssignment(0, kMixerNone);
    mixer.applyPlaybackAssignment(0, 4, 3);  // a source the line does not have
    mixer.applyRecordingAssignment(1, 7);
    EXPECT_EQ(texts(), (Strings{"Invalid playback destination assignment",
                                "Invalid recording destination assignment",
                                "Unable to find appropriate source for destination",
                                "Unable to find appropriate source for destination"}));
    EXPECT_EQ(host.boxes[2].caption, "CMixerExtend::setDefaultPlayback");
    EXPECT_EQ(host.boxes[3].caption, "CMixerExtend::setDefaultRecording");
    EXPECT_EQ(mixer.dwPlaybackDest, 0u);
    EXPECT_EQ(mixer.dwLineOutSrc, 0u);
    EXPECT_EQ(mixer.dwLineOutVolumeCtrl, 2u);
    EXPECT_EQ(mixer.dwRecordDest, 1u);
    EXPECT_EQ(mixer.dwRecordSrc, 1u);
    EXPECT_EQ(mixer.dwWaveInVolumeCtrl, 14u);
}

TEST_F(MixerTest, UserChosenSourcesNeedNoTypeAndRecordingRestartsTheLevel) {
    start("classic.json");
    mixer.applyPlaybackAssignment(0, 2, 1);  // microphone as line-out, aux as wave-out
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(mixer.dwLineOutVolumeCtrl, 6u);
    EXPECT_EQ(mixer.dwWaveOutMuteCtrl, 5u);
    EXPECT_EQ(mixer.dwLineOutVolume, 20000u);  // refreshed

    mixer.dwWaveInVolume = 999;
    mixer.applyRecordingAssignment(1, 0);
    EXPECT_EQ(mixer.dwWaveInVolumeCtrl, 12u);
    EXPECT_EQ(value(12), 4096u);
    EXPECT_EQ(mixer.dwWaveInVolume, 4096u);
    EXPECT_EQ(card->control(11)->values, (std::vector<uint32_t>{1, 0, 0}));
}

TEST_F(MixerTest, RefreshReadsEveryAssignedControlAndDoesNotReenter) {
    start("no_waveout.json");  // no playback controls assigned
    mixer.dwMasterVolume = 0x1234;
    const size_t before = card->reads;
    int nested = 0;
    card->onRead = [&] {
        ++nested;
        mixer.controlChanged(0);  // a nested loop delivering a notification
    };
    mixer.lineChanged(0);
    EXPECT_EQ(card->reads - before, 1u);  // only the wave-in volume exists
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(mixer.dwMasterVolume, 0x1234u);  // no control: the cache stays
    EXPECT_EQ(mixer.dwWaveInVolume, 4096u);
    card->onRead = nullptr;

    CMixerExtend classic;
    auto c = sim::loadSimMixer(fixturePath("classic.json"));
    classic.initialize(c.get(), &window, "v");
    classic.startUpAssignment();
    std::vector<uint32_t> order;
    c->onRead = [&] { order.push_back(classic.sControlDetails.dwControlID); };
    classic.refreshLevels();
    c->onRead = nullptr;
    EXPECT_EQ(order, (std::vector<uint32_t>{0, 1, 2, 3, 8, 9, 14}));
    EXPECT_EQ(classic.dwMasterVolume, 49152u);
    EXPECT_EQ(classic.dwLineOutVolume, 40000u);
    EXPECT_EQ(classic.dwWaveOutVolume, 50000u);
    EXPECT_EQ(classic.dwWaveOutMute, 0u);
    c->faults.readControl.insert(0);
    classic.refreshLevels();
    EXPECT_EQ(classic.dwMasterVolume, 49152u);  // a failed read leaves the cache
}

TEST_F(MixerTest, RecordingSourceBeyondTheListSelectsNothing) {
    start("classic.json");
    const size_t writes = card->writes.size();
    for (uint32_t source : {3u, 20u, 25u, kMixerNone - 1}) {
        mixer.dwRecordSrc = source;
        mixer.selectRecordingSource();
    }
    EXPECT_EQ(card->writes.size(), writes);
    EXPECT_EQ(card->control(11)->values, (std::vector<uint32_t>{0, 1, 0}));

    // A list longer than the buffer is left alone.
    mixer.dwMuxMult = 25;
    mixer.dwRecordSrc = 21;
    mixer.selectRecordingSource();
    EXPECT_EQ(card->writes.size(), writes);
}

}  // namespace
