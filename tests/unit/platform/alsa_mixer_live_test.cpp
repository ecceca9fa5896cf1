// The ALSA mixer on a running sound server (PulseAudio's Master and Capture):
// levels read back as written, mute is the inverted switch, and a change made
// by another program arrives as a control-change message. Run by the live
// end-to-end test inside its private PulseAudio; skipped elsewhere.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "platform/alsa/alsa_mixer.h"
#include "platform/console/console_host.h"

namespace {

using namespace platform;

struct Window : MessageTarget {
    std::vector<intptr_t> changed;
    intptr_t handleMessage(uint32_t message, uintptr_t, intptr_t lParam) override {
        if (message == MM_MIXM_CONTROL_CHANGE) changed.push_back(lParam);
        return 0;
    }
};

TEST(AlsaMixerLive, LevelsMutesAndChangesFromElsewhere) {
    if (!std::getenv("TARNIX_PRIVATE_PULSE")) GTEST_SKIP() << "needs the test's own PulseAudio";
    ConsoleHost host;
    setHost(&host);
    auto mixer = alsa::makeMixerDevice();
    ASSERT_EQ(mixer->mixerGetNumDevs(), 1u);
    Window window;
    HMIXER h = 0;
    ASSERT_EQ(mixer->mixerOpen(&h, 0, &window, 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);

    // Control 0 is the master volume, 1 its mute (0..65536 in the server).
    uint32_t value[1] = {};
    MIXERCONTROLDETAILS d{sizeof d, 0, 1, 0, 4, value};
    for (uint32_t level : {1u, 12345u, 32768u, 65535u, 40000u}) {
        value[0] = level;
        ASSERT_EQ(mixer->mixerSetControlDetails(h, &d, 0), MMSYSERR_NOERROR);
        value[0] = 0;
        ASSERT_EQ(mixer->mixerGetControlDetailsA(h, &d, 0), MMSYSERR_NOERROR);
        EXPECT_EQ(value[0], level);
    }
    d.dwControlID = 1;
    value[0] = 1;
    ASSERT_EQ(mixer->mixerSetControlDetails(h, &d, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(std::system("pactl get-sink-mute B | grep -q yes"), 0);
    value[0] = 0;
    ASSERT_EQ(mixer->mixerSetControlDetails(h, &d, 0), MMSYSERR_NOERROR);

    // Our own writes were announced; now a change from another program.
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        std::system("pactl set-sink-volume B 20%");
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        host.postQuitMessage(0);
    });
    host.run();
    other.join();
    const std::vector<intptr_t> own{0, 0, 0, 0, 0, 1, 1};
    ASSERT_GE(window.changed.size(), own.size());
    EXPECT_TRUE(std::equal(own.begin(), own.end(), window.changed.begin()));
    window.changed.erase(window.changed.begin(), window.changed.begin() + 7);
    EXPECT_NE(std::find(window.changed.begin(), window.changed.end(), 0), window.changed.end());
    d.dwControlID = 0;
    ASSERT_EQ(mixer->mixerGetControlDetailsA(h, &d, 0), MMSYSERR_NOERROR);
    EXPECT_NEAR(value[0], 13107, 2);
    EXPECT_EQ(mixer->mixerClose(h), MMSYSERR_NOERROR);
    setHost(nullptr);
}

}  // namespace
