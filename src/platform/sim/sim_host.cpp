#include "platform/sim/sim_host.h"

namespace sim {

void SimHost::postQuitMessage(int exitCode) {
    ++quitPosts;
    QueueHost::postQuitMessage(exitCode);
}

int SimHost::messageBox(platform::MessageTarget* owner, const std::string& text,
                        const std::string& caption, uint32_t style) {
    MessageBoxRecord record{owner, text, caption, style};
    boxes.push_back(record);
    if (deliverDuringMessageBox) {
        runModal({}, [&] { return whileMessageBoxOpen && whileMessageBoxOpen(record); });
    }
    return platform::kIdOk;
}

}  // namespace sim
