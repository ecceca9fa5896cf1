#include <stdexcept>

#include "mixer_fixture.h"

using namespace platform;

namespace {

class SimMixerTest : public HostTest {
  protected:
    void SetUp() override {
        HostTest::SetUp();
        card = sim::loadSimMixer(fixturePath("classic.json"));
        ASSERT_EQ(card->mixerOpen(&handle, 0, &window, 0, kCallbackWindow), kMmsyserrNoError);
    }
    MMRESULT set(uint32_t id, std::vector<uint32_t> values) {
        MIXERCONTROLDETAILS d{sizeof(d), id, 1, 0, 4, values.data()};
        if (values.size() > 1) d.cMultipleItems = static_cast<uint32_t>(values.size());
        return card->mixerSetControlDetails(handle, &d, 0);
    }

    RecordingWindow window;
    std::unique_ptr<sim::SimMixer> card;
    HMIXER handle = 0;
};

TEST_F(SimMixerTest, NumbersLinesAndControlsInFixtureOrder) {
    EXPECT_EQ(card->caps.cDestinations, 2u);
    EXPECT_EQ(card->destinations[1].info.dwLineID, 0xFFFF0001u);
    EXPECT_EQ(card->destinations[1].sources[2].info.dwLineID, 0x00030001u);
    // 2 master controls + 4 sources x 2, then the recording line's 2.
    EXPECT_EQ(card->destinations[1].controls[1].info.dwControlID, 11u);
    EXPECT_EQ(card->destinations[1].controls[1].info.dwControlType, kMixerControlControlTypeMux);
    EXPECT_EQ(card->destinations[1].controls[1].info.cMultipleItems, 3u);
    EXPECT_THROW(sim::parseSimMixer(R"({"destinations":[{"type":"DST_NOPE"}]})"),
                 std::runtime_error);
    EXPECT_THROW(sim::loadSimMixer(fixturePath("missing.json")), std::runtime_error);
}

TEST_F(SimMixerTest, WriteChangesTheValueAndNotifiesThroughTheLoop) {
    ASSERT_EQ(set(0, {1234}), kMmsyserrNoError);
    EXPECT_EQ(card->control(0)->values[0], 1234u);
    EXPECT_TRUE(window.messages.empty());  // posted, not yet delivered
    host.runUntilIdle();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].message, kMmMixmControlChange);
    EXPECT_EQ(window.messages[0].lParam, 0);
    EXPECT_EQ(set(0, {70000}), kMixerrInvalValue);
}

TEST_F(SimMixerTest, SingleSelectListNeedsExactlyOneItem) {
    EXPECT_EQ(set(11, {0, 0, 0}), kMixerrInvalValue);
    EXPECT_EQ(set(11, {1, 1, 0}), kMixerrInvalValue);
    EXPECT_EQ(set(11, {0, 0, 1}), kMmsyserrNoError);
    EXPECT_EQ(set(11, {1}), kMmsyserrInvalParam);  // item count must match
}

TEST_F(SimMixerTest, FaultsFailTheirCallsAndWriteNothing) {
    card->faults.readControl.insert(0);
    card->faults.writeControl.insert(1);
    uint32_t value = 77;
    MIXERCONTROLDETAILS d{sizeof(d), 0, 1, 0, 4, &value};
    EXPECT_NE(card->mixerGetControlDetailsA(handle, &d, 0), kMmsyserrNoError);
    EXPECT_EQ(value, 77u);
    EXPECT_NE(set(1, {1}), kMmsyserrNoError);
    EXPECT_EQ(card->control(1)->values[0], 0u);

    MIXERLINEA line{};
    line.cbStruct = sizeof(line);
    card->destinations[0].sources[1].failLineInfo = true;
    line.dwSource = 1;
    EXPECT_NE(card->mixerGetLineInfoA(handle, &line, kMixerGetLineInfoFSource), kMmsyserrNoError);
    EXPECT_EQ(line.dwLineID, 0u);
}

TEST_F(SimMixerTest, ControlsRequestMustMatchTheLineAndHaveControls) {
    auto noControls =
        sim::parseSimMixer(R"({"destinations":[{"type":"DST_SPEAKERS","sources":[{}]}]})");
    HMIXER h = 0;
    ASSERT_EQ(noControls->mixerOpen(&h, 0, nullptr, 0, 0), kMmsyserrNoError);
    MIXERLINECONTROLSA request{sizeof(request), 0x00010000, 0, 0, sizeof(MIXERCONTROLA), nullptr};
    EXPECT_EQ(noControls->mixerGetLineControlsA(h, &request, 0), kMmsyserrInvalParam);
    EXPECT_EQ(noControls->mixerClose(h), kMmsyserrNoError);
    EXPECT_EQ(noControls->mixerClose(h), kMmsyserrInvalHandle);
}

TEST_F(SimMixerTest, CouplingFollowsSelectedSourceAndMutes) {
    // The list selects item 0, the microphone at 10000.
    EXPECT_DOUBLE_EQ(card->recordingGain(), 10000 / 65535.0);
    ASSERT_EQ(set(11, {0, 1, 0}), kMmsyserrNoError);
    EXPECT_DOUBLE_EQ(card->recordingGain(), 30000 / 65535.0);

    EXPECT_TRUE(card->isAudible(kMixerLineComponentTypeSrcWaveOut));
    EXPECT_DOUBLE_EQ(card->playbackGain(kMixerLineComponentTypeSrcWaveOut),
                     49152 / 65535.0 * 50000 / 65535.0);
    EXPECT_FALSE(card->isAudible(kMixerLineComponentTypeSrcAuxiliary));
    ASSERT_EQ(set(1, {1}), kMmsyserrNoError);  // master mute
    EXPECT_FALSE(card->isAudible(kMixerLineComponentTypeSrcWaveOut));
    EXPECT_EQ(card->playbackGain(kMixerLineComponentTypeSrcWaveOut), 0.0);
}

}  // namespace

namespace {

// A bad fixture is refused with the fixture's name, the key and what is wrong,
// never with a huge allocation or a wrapped number.
TEST(SimMixerFixture, RefusesOutOfRangeAndMistypedValuesNamingFileAndKey) {
    const std::string list = R"({"destinations": [{"type": "DST_WAVEIN", "controls": [)";
    struct Case {
        std::string json, message;
    } cases[] = {
        {list + R"({"type": "MUX", "items": -1}]}]})", "destinations[0].controls[0].items"},
        {list + R"({"type": "MUX", "items": -2.5}]}]})", "whole number from 0 to 4096"},
        {list + R"({"type": "MUX", "items": 1e20}]}]})", "controls[0].items"},
        {list + R"({"type": "VOLUME", "value": -1}]}]})", "controls[0].value"},
        {list + R"({"type": "VOLUME", "value": 1e20}]}]})", "controls[0].value"},
        {list + R"({"type": "MUTE", "value": 2}]}]})", "from 0 to 1, found 2"},
        {list + R"({"type": "MUX", "items": 2, "values": [1, 7]}]}]})", "values[1]"},
        {list + R"({"type": "MUX", "items": 1, "values": [1, 0]}]}]})", "at most 1 entries"},
        {list + R"({"type": "NOPE"}]}]})", "unknown type NOPE"},
        {list + R"({"type": "VOLUME", "failRead": 1}]}]})", "failRead: expected true or false"},
        {R"({"devices": 1e20})", "devices"},
        {R"({"caps": {"wMid": 70000}})", "caps.wMid"},
        {R"({"destinations": [{"channels": "two"}]})", "destinations[0].channels"},
        {R"({"destinations": {}})", "destinations: expected a list"},
        {R"({"destinations": [)", "not JSON"},
        // A line, a control, "caps" and "faults" must be objects.
        {list + R"(1]}]})", "destinations[0].controls[0]: expected an object, found number"},
        {list + R"([]]}]})", "destinations[0].controls[0]: expected an object, found array"},
        {R"({"destinations": [5]})", "destinations[0]: expected an object"},
        {R"({"destinations": [{"sources": [null]}]})", "destinations[0].sources[0]: expected"},
        {R"({"caps": []})", "caps: expected an object"},
        {R"({"faults": 5})", "faults: expected an object"},
        // Depth and quotes are bounded, however deep or long the input.
        {list + R"({"type": "MUX", "items": 1, "values": )" + std::string(100000, '[') +
             std::string(100000, ']') + "}]}]}",
         "nested more than 32 levels deep"},
        {list + R"({"type": "MUX", "items": 1, "values": [")" + std::string(100000, 'x') +
             "\"]}]}]}",
         "found \"xxxxx"},
        {R"({"destinations": [")" + std::string(100000, 'x'), "not JSON"},
    };
    for (const auto& c : cases) {
        try {
            sim::parseSimMixer(c.json, "card.json");
            ADD_FAILURE() << "accepted " << c.json;
        } catch (const std::runtime_error& e) {
            const std::string what = e.what();
            EXPECT_LT(what.size(), 400u) << what.substr(0, 400);
            EXPECT_EQ(what.rfind("card.json: ", 0), 0u) << what;
            EXPECT_NE(what.find(c.message), std::string::npos) << c.json << " -> " << what;
        }
    }
}

TEST(SimMixerFixture, FindsLinesAndControlsOfALargeCardByIdentifier) {
    std::string json = R"({"destinations": [)";
    for (int d = 0; d < 3000; ++d)
        json +=
            std::string(d ? "," : "") +
            R"({"controls": [{"type": "VOLUME"}], "sources": [{"controls": [{"type": "MUTE"}]}]})";
    auto card = sim::parseSimMixer(json + "]}");
    ASSERT_EQ(card->destinations.size(), 3000u);
    EXPECT_EQ(card->control(2 * 2999 + 1), &card->destinations[2999].sources[0].controls[0]);
    EXPECT_EQ(card->control(6000), nullptr);
    // A control a test moves is still found.
    card->destinations[0].controls[0].info.dwControlID = 9000;
    EXPECT_EQ(card->control(9000), &card->destinations[0].controls[0]);
}

}  // namespace
