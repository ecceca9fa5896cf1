// A simulated sound card loaded from a fixture, a window to own the mixer and
// receive its notifications, and a fresh mixer object per test.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "mixer/mixer_extend.h"
#include "platform/sim/sim_mixer.h"
#include "support/host_fixture.h"

struct RecordingWindow : platform::MessageTarget {
    struct Message {
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
    };
    std::vector<Message> messages;
    intptr_t handleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        messages.push_back({message, wParam, lParam});
        return 0;
    }
};

inline std::string fixturePath(const std::string& name) {
    return std::string(TARNIX_FIXTURES_DIR) + "/mixer/" + name;
}

class MixerTest : public HostTest {
  protected:
    // Loads a card and runs what the main window's creation runs.
    void start(const std::string& fixture) { startWith(sim::loadSimMixer(fixturePath(fixture))); }
    void startJson(const std::string& json) { startWith(sim::parseSimMixer(json)); }
    void startWith(std::unique_ptr<sim::SimMixer> c) {
        card = std::move(c);
        mixer.initialize(card.get(), &window, "Version 1.0");
        mixer.startUpAssignment();
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> t;
        for (const auto& b : host.boxes)
            t.push_back(b.text);
        return t;
    }
    uint32_t value(uint32_t controlId, size_t item = 0) {
        return card->control(controlId)->values.at(item);
    }

    RecordingWindow window;
    std::unique_ptr<sim::SimMixer> card;
    CMixerExtend mixer;
};
