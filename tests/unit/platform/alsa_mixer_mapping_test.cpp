// The mapping of ALSA's simple-mixer elements to the mixer's topology, on
// recorded cards: which lines the start-up assignment chooses on each, and
// the listing it gives. The mapped topology runs on the simulated card, so no
// ALSA is needed.
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include <gtest/gtest.h>

#include "mixer/listing.h"
#include "mixer/mixer_extend.h"
#include "platform/alsa/alsa_mixer.h"
#include "platform/sim/sim_mixer.h"
#include "support/host_fixture.h"

namespace {

using namespace platform;

std::string fixture(const std::string& name) {
    return std::string(TARNIX_FIXTURES_DIR) + "/alsa/" + name;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

alsa::MappedMixer mapCard(const std::string& name) {
    const auto j = nlohmann::json::parse(readFile(fixture(name)));
    std::vector<alsa::Element> elements;
    for (const auto& e : j.at("elements")) {
        alsa::Element el;
        el.name = e.at("name");
        el.playbackVolume = e.value("playbackVolume", false);
        el.playbackSwitch = e.value("playbackSwitch", false);
        el.captureVolume = e.value("captureVolume", false);
        el.captureSwitch = e.value("captureSwitch", false);
        el.captureEnum = e.value("captureEnum", false);
        if (el.captureEnum) el.items = e.at("items").get<std::vector<std::string>>();
        el.channels = e.value("channels", 2u);
        elements.push_back(el);
    }
    return alsa::mapElements(j.at("card"), elements);
}

// The mapped topology as a simulated card: volumes at half, switches on,
// the first list item chosen.
std::unique_ptr<sim::SimMixer> simulate(const alsa::MappedMixer& m) {
    auto card = std::make_unique<sim::SimMixer>();
    card->caps = m.caps;
    auto convert = [](const alsa::MappedLine& from) {
        sim::SimMixer::Line line;
        line.info = from.info;
        for (const auto& c : from.controls) {
            sim::SimMixer::Control control;
            control.info = c.info;
            if (c.info.cMultipleItems) {
                control.values.assign(c.info.cMultipleItems, 0);
                control.values[0] = 1;
            } else {
                control.values = {c.info.dwControlType == kMixerControlControlTypeVolume ? 32768u
                                                                                         : 0u};
            }
            line.controls.push_back(control);
        }
        return line;
    };
    for (const auto& d : m.destinations) {
        auto dest = convert(d);
        for (const auto& s : d.sources)
            dest.sources.push_back(convert(s));
        card->destinations.push_back(dest);
    }
    return card;
}

struct NullWindow : MessageTarget {
    intptr_t handleMessage(uint32_t, uintptr_t, intptr_t) override { return 0; }
};

class AlsaMapping : public HostTest {
  protected:
    void start(const std::string& name) {
        mapped = mapCard(name);
        card = simulate(mapped);
        mixer.initialize(card.get(), &window, "Version 1.3.3.6");
        mixer.startUpAssignment();
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> t;
        for (const auto& b : host.boxes)
            t.push_back(b.text);
        return t;
    }
    const char* sourceName(uint32_t d, uint32_t s) { return mixer.getSourceName(d, s); }
    // The listing without its date line. Each test writes a file of its own:
    // the tests run side by side.
    void expectListing(const std::string& expected) {
        const auto path = std::filesystem::temp_directory_path() / ("tarnix-alsa-" + expected);
        ASSERT_TRUE(writeMixerListing(mixer, path.c_str(), 0));
        auto withoutDate = [](std::string text) {
            const auto first = text.find('\n');
            const auto second = text.find('\n', first + 1);
            return text.erase(first + 1, second - first);
        };
        EXPECT_EQ(withoutDate(readFile(path)), withoutDate(readFile(fixture(expected))));
        std::filesystem::remove(path);
    }

    alsa::MappedMixer mapped;
    std::unique_ptr<sim::SimMixer> card;
    CMixerExtend mixer;
    NullWindow window;
};

TEST_F(AlsaMapping, AnalogCodecChoosesLinePcmAndTheLineInput) {
    start("hda_analog.json");
    EXPECT_TRUE(texts().empty());
    // Outputs (Headphone, Front, Surround) and boosts are not sources.
    EXPECT_STREQ(sourceName(0, mixer.dwLineOutSrc), "Line");
    EXPECT_STREQ(sourceName(0, mixer.dwWaveOutSrc), "PCM");
    EXPECT_STREQ(sourceName(1, mixer.dwRecordSrc), "Line");
    EXPECT_EQ(mixer.dwMuxMult, 4u);
    // Aux counts as a line input by its short name.
    const auto& aux = mapped.destinations[0].sources[4];
    EXPECT_STREQ(aux.info.szName, "Aux");
    EXPECT_STREQ(aux.info.szShortName, "Line Aux");
    EXPECT_EQ(aux.info.dwComponentType, kMixerLineComponentTypeSrcAuxiliary);
    // The sources share the capture volume: it is the input level, and the
    // recording line has no volume of its own.
    EXPECT_EQ(mixer.dwMasterVolumeInCtrl, kMixerNone);
    EXPECT_EQ(mixer.dwWaveInVolume, 4096u);
    expectListing("hda_analog.listing.txt");
}

TEST_F(AlsaMapping, UsbAdapterHasNoWaveOutPath) {
    start("usb_adapter.json");
    EXPECT_EQ(texts(), std::vector<std::string>{
                           "Unable to find appropriate source for waveout destination"});
    EXPECT_EQ(mixer.dwPlaybackDest, kMixerNone);
    // Speaker stands in for the master; the microphone is recorded through
    // its capture switch.
    EXPECT_STREQ(mapped.destinations[0].controls[0].info.szName, "Speaker Volume");
    EXPECT_STREQ(sourceName(1, mixer.dwRecordSrc), "Mic");
    EXPECT_EQ(mapped.destinations[1].controls[0].info.dwControlType, kMixerControlControlTypeMixer);
    expectListing("usb_adapter.listing.txt");
}

TEST_F(AlsaMapping, SoundServerHasOnlyMasterAndCapture) {
    start("sound_server.json");
    EXPECT_EQ(texts(),
              (std::vector<std::string>{"Unable to find appropriate source for destination",
                                        "Unable to find appropriate source for destination"}));
    EXPECT_EQ(mixer.dwRecordDest, kMixerNone);
    expectListing("sound_server.listing.txt");
}

TEST(AlsaLevels, ScaleToTheDeviceAndBackWithoutDrift) {
    for (auto [min, max] : {std::pair{0L, 31L}, {0L, 87L}, {-6400L, 0L}, {0L, 65535L}}) {
        for (long v = min; v <= max; v += std::max(1L, (max - min) / 997))
            ASSERT_EQ(alsa::fromLevel(alsa::toLevel(v, min, max), min, max), v)
                << min << ".." << max;
        EXPECT_EQ(alsa::toLevel(min, min, max), 0u);
        EXPECT_EQ(alsa::toLevel(max, min, max), 65535u);
        EXPECT_EQ(alsa::fromLevel(65535, min, max), max);
    }
    EXPECT_EQ(alsa::toLevel(5, 3, 3), 0u);  // an element without range
}

}  // namespace
