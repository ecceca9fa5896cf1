// Which element stands for the master on a card without one.
#include <gtest/gtest.h>

#include <string>

#include "platform/alsa/alsa_mixer.h"

namespace {

alsa::Element playback(const std::string& name) {
    alsa::Element e;
    e.name = name;
    e.playbackVolume = true;
    e.playbackSwitch = true;
    return e;
}

TEST(AlsaMasterChoice, SpeakerBeforeHeadphoneWhenThereIsNoMaster) {
    // Laptop codecs list the headphone first.
    const auto m = alsa::mapElements(
        "laptop", {playback("Headphone"), playback("Speaker"), playback("PCM"), playback("Line")});
    ASSERT_FALSE(m.destinations.empty());
    const auto& speakers = m.destinations[0];
    ASSERT_EQ(speakers.controls.size(), 2u);
    EXPECT_STREQ(speakers.controls[0].info.szName, "Speaker Volume");
    EXPECT_STREQ(speakers.controls[1].info.szName, "Speaker Mute");
    for (const auto& source : speakers.sources) {
        EXPECT_STRNE(source.info.szName, "Speaker");
        EXPECT_STRNE(source.info.szName, "Headphone");
    }
    EXPECT_EQ(speakers.sources.size(), 2u);  // PCM and Line

    // With a master, neither stands in for it.
    const auto withMaster = alsa::mapElements(
        "desktop", {playback("Headphone"), playback("Speaker"), playback("Master")});
    EXPECT_STREQ(withMaster.destinations[0].controls[0].info.szName, "Master Volume");
}

}  // namespace
