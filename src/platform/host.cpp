#include "platform/host.h"

#include <cstdio>

namespace platform {
namespace {

class StderrHost final : public Host {
  public:
    void postMessage(MessageTarget*, uint32_t, uintptr_t, intptr_t) override {}
    void postQuitMessage(int) override {}
    int messageBox(MessageTarget*, const std::string& text, const std::string& caption,
                   uint32_t) override {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return kIdOk;
    }
    void yieldTimeSlice() override {}
};

StderrHost fallbackHost;
Host* current = nullptr;

}  // namespace

Host& host() {
    return current ? *current : fallbackHost;
}

void setHost(Host* h) {
    current = h;
}

}  // namespace platform
