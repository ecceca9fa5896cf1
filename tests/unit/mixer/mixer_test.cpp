#include <cstring>

#include "mixer_fixture.h"

using namespace platform;

namespace {

using Strings = std::vector<std::string>;

TEST_F(MixerTest, CopiesTheWholeTopology) {
    start("classic.json");
    EXPECT_TRUE(host.boxes.empty());
    ASSERT_EQ(mixer.sMixerCaps.cDestinations, 2u);
    EXPECT_STREQ(mixer.sMixerCaps.szPname, "Sim Classic Mixer");
    const CMixerMixerLine_dest& rec = mixer.pasCMixerMixerLine_dest[1];
    EXPECT_EQ(rec.cConnections, 3u);
    EXPECT_EQ(rec.psaMixerControl[1].cMultipleItems, 3u);
    EXPECT_EQ(rec.psaCMixerMixerLine_src[2].psaMixerControl[0].dwControlID, 16u);
    EXPECT_STREQ(mixer.getDestinationName(1), "Recording Control");
    EXPECT_STREQ(mixer.getSourceName(0, 3), "Wave Out");
    EXPECT_EQ(mixer.getDestinationName(2), nullptr);
    EXPECT_EQ(mixer.getDestinationName(kMixerNone), nullptr);
    EXPECT_EQ(mixer.getSourceName(0, 4), nullptr);
    EXPECT_EQ(mixer.getSourceName(kMixerNone, 0), nullptr);
    EXPECT_EQ(window.messages.size(), 0u);
    EXPECT_EQ(card->target(), &window);
    mixer.release();
    EXPECT_FALSE(card->isOpen());
    EXPECT_EQ(mixer.pasCMixerMixerLine_dest, nullptr);
}

TEST_F(MixerTest, NoMixerDeviceReportsAndLeavesEverythingUnassigned) {
    start("no_mixer.json");
    EXPECT_EQ(texts(), (Strings{"mixerGetNumDevs Error!", "Unable to find destination 'Speakers'",
                                "Unable to find a recording destination"}));
    EXPECT_EQ(host.boxes[0].caption, "CMixer::initialize");
    EXPECT_EQ(host.boxes[0].owner, &window);
    EXPECT_EQ(host.boxes[0].style, kMbOk);
    EXPECT_EQ(host.boxes[1].caption, "CMixerExtend::setDefaultPlayback");
    EXPECT_EQ(host.boxes[2].caption, "CMixerExtend::setDefaultRecording");
    EXPECT_EQ(mixer.dwPlaybackDest, kMixerNone);
    EXPECT_EQ(mixer.dwRecordDest, kMixerNone);
    EXPECT_EQ(mixer.dwWaveInVolume, 0u);  // no control: the input level is not cached
}

TEST_F(MixerTest, OpenAndCapabilityFailuresEndTheEnumeration) {
    auto c = sim::loadSimMixer(fixturePath("classic.json"));
    c->faults.open = true;
    startWith(std::move(c));
    EXPECT_EQ(texts().at(0), "mixerOpen Error!");
    EXPECT_EQ(mixer.sMixerCaps.cDestinations, 0u);

    host.boxes.clear();
    CMixerExtend second;
    auto d = sim::loadSimMixer(fixturePath("classic.json"));
    d->faults.caps = true;
    second.initialize(d.get(), &window, "v");
    EXPECT_EQ(texts(), Strings{"mixerGetDevCaps Error!"});
    EXPECT_EQ(second.sMixerCaps.cDestinations, 0u);
    EXPECT_FALSE(d->isOpen());
}

TEST_F(MixerTest, UnreadableDestinationKeepsItsIndexAsAnEmptyLine) {
    start("destination_info_fails.json");
    EXPECT_EQ(texts(), Strings{"mixerGetLineInfo Error (Dest)"});
    const CMixerMixerLine_dest& bad = mixer.pasCMixerMixerLine_dest[0];
    EXPECT_EQ(bad.dwComponentType, 0u);
    EXPECT_EQ(bad.cControls, 0u);
    EXPECT_EQ(bad.psaMixerControl, nullptr);
    EXPECT_STREQ(mixer.getDestinationName(0), "");
    EXPECT_EQ(mixer.dwPlaybackDest, 1u);
    EXPECT_EQ(mixer.dwRecordDest, 2u);
}

TEST_F(MixerTest, FailedControlQueriesAreReportedOrCutTheSources) {
    auto c = sim::loadSimMixer(fixturePath("source_controls_fail.json"));
    c->destinations[1].failControls = true;
    c->destinations[0].sources[0].failLineInfo = true;
    startWith(std::move(c));
    EXPECT_EQ(texts().at(0), "mixerGetLineInfo Error (Source)");
    EXPECT_EQ(texts().at(1), "mixerGetLineControls Error! rc=1 line=FFFF0001");
    // The speaker line loses the failing source 2 and everything after it; the
    // recording line loses its source without controls.
    EXPECT_EQ(mixer.pasCMixerMixerLine_dest[0].cConnections, 2u);
    EXPECT_EQ(mixer.pasCMixerMixerLine_dest[1].cConnections, 2u);
    EXPECT_EQ(mixer.getSourceName(0, 2), nullptr);
    EXPECT_STREQ(mixer.getSourceName(0, 0), "");  // skipped, index kept
}

void* failEveryAllocation(size_t, size_t) {
    return nullptr;
}

int allowed = 0;
void* failAfterAllowed(size_t count, size_t size) {
    return allowed-- > 0 ? std::calloc(count, size) : nullptr;
}

TEST_F(MixerTest, AllocationFailuresAreReportedAndSurvived) {
    CMixer::allocator = failEveryAllocation;
    start("classic.json");
    EXPECT_EQ(texts().at(0), "Memory Allocation Error! (pasCMixerMixerLine_dest)");
    EXPECT_EQ(mixer.sMixerCaps.cDestinations, 0u);

    host.boxes.clear();
    CMixerExtend second;
    allowed = 1;  // the destination array only
    CMixer::allocator = failAfterAllowed;
    second.initialize(card.get(), &window, "v");
    CMixer::allocator = [](size_t n, size_t s) { return std::calloc(n, s); };
    EXPECT_EQ(texts(), (Strings{"Memory Allocation Error! (pasCMixerMixerLine_dest)",
                                "Memory Allocation Error! (psaCMixerMixerLine_src)",
                                "Memory Allocation Error! (pasCMixerMixerLine_dest)",
                                "Memory Allocation Error! (psaCMixerMixerLine_src)"}));
    EXPECT_EQ(second.pasCMixerMixerLine_dest[0].cControls, 0u);
    EXPECT_EQ(second.pasCMixerMixerLine_dest[0].cConnections, 0u);

    host.boxes.clear();
    CMixerExtend third;
    allowed = 3;  // destinations, speaker controls, speaker sources
    CMixer::allocator = failAfterAllowed;
    third.initialize(card.get(), &window, "v");
    CMixer::allocator = [](size_t n, size_t s) { return std::calloc(n, s); };
    ASSERT_GE(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "psaMixerControl Memory Alloc Error!");
    EXPECT_EQ(host.boxes[0].caption, "CMixer::getAllControls");
    EXPECT_EQ(third.pasCMixerMixerLine_dest[0].cConnections, 4u);
}

TEST_F(MixerTest, NoneReadsNothingAndBlocksTheNextWrite) {
    start("classic.json");
    ASSERT_EQ(mixer.readControl(0, 0), 0);
    EXPECT_EQ(mixer.adwDetails[0], 49152u);
    const size_t reads = card->reads;
    EXPECT_EQ(mixer.readControl(kMixerNone, 0), -10);
    EXPECT_EQ(card->reads, reads);
    EXPECT_EQ(mixer.dwCurrentCtrl, kMixerNone);
    EXPECT_EQ(mixer.sControlDetails.dwControlID, 0u);
    const size_t writes = card->writes.size();
    EXPECT_EQ(mixer.writeControl(), -10);
    EXPECT_EQ(mixer.writeControlValue(5), 5u);
    EXPECT_EQ(card->writes.size(), writes);
    EXPECT_EQ(value(0), 49152u);
}

TEST_F(MixerTest, WriteControlValueWritesOnlyInRange) {
    start("classic.json");
    ASSERT_EQ(mixer.readControl(0, 0), 0);
    EXPECT_EQ(mixer.writeControlValue(65536), 49152u);
    EXPECT_EQ(mixer.writeControlValue(-1), 49152u);
    EXPECT_EQ(value(0), 49152u);
    EXPECT_EQ(mixer.writeControlValue(65535), 65535u);
    EXPECT_EQ(value(0), 65535u);
    card->faults.writeControl.insert(0);
    EXPECT_EQ(mixer.writeControl(), -20);
    card->faults.readControl.insert(0);
    EXPECT_EQ(mixer.readControl(0, 0), -20);
}

TEST_F(MixerTest, ListWithMoreItemsThanTheBufferIsNeverReadNorWritten) {
    start("classic.json");
    mixer.adwDetails[19] = 0xABCD;
    const size_t reads = card->reads;
    EXPECT_EQ(mixer.readControl(11, 21), -20);
    EXPECT_EQ(card->reads, reads);
    EXPECT_EQ(mixer.writeControl(), -10);
    EXPECT_EQ(mixer.adwDetails[19], 0xABCDu);
}

TEST(MixerWithoutStart, WriteBeforeAnyReadWritesNothing) {
    CMixer fresh;
    EXPECT_EQ(fresh.writeControl(), -10);
}

}  // namespace
