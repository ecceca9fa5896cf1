// Modal calls keep delivering posted messages, as the platform's do: audio,
// ticks and notifications run inside a dialog's or a message box's call.
#include <gtest/gtest.h>

#include <set>

#include "support/ui_rig.h"

using namespace ui;

namespace {

TEST(Reentrancy, AudioTicksAndNotificationsRunInsideAModalDialog) {
    UiRig rig;
    rig.create();
    rig.tick();
    std::vector<int> depths;  // modal loops running at each level reading
    rig.mixerDevice->onRead = [&] { depths.push_back(rig.host.modalDepth()); };
    size_t playedBefore = 0;
    rig.view.onModalDialog = [&](DialogModel&) {
        playedBefore = rig.out.queued();
        for (int i = 0; i < 6; ++i)
            rig.in.fill(std::vector<int16_t>(rig.engine->blockLength, 100));
        rig.view.tick();
        rig.host.postMessage(&rig.window, platform::kMmMixmControlChange, 0,
                             rig.mixer.dwMasterVolumeCtrl);
    };
    const int invalidations = rig.view.invalidations;
    rig.command(ID_ABOUT);
    EXPECT_EQ(rig.host.pending(), 0u);
    EXPECT_GT(rig.out.queued(), playedBefore);  // blocks were processed and queued
    EXPECT_EQ(rig.view.invalidations, invalidations + 1);
    ASSERT_FALSE(depths.empty());
    EXPECT_EQ(*std::min_element(depths.begin(), depths.end()), 1);  // all inside the dialog
    EXPECT_EQ(rig.in.queued() + rig.engine->pendingBlocks, engine::kBufferCount);

    // Paint after the dialog: the sums gathered meanwhile are drawn and cleared.
    EXPECT_GT(rig.engine->frameCount, 0u);
    rig.paint();
    EXPECT_EQ(rig.engine->frameCount, 0u);
}

TEST(Reentrancy, ExitPostedWhileADialogIsOpenEndsTheProgramCleanly) {
    UiRig rig;
    rig.create();
    rig.tick();
    rig.view.onModalDialog = [&](DialogModel&) {
        rig.host.postMessage(&rig.window, kWmCommand, ID_EXIT, 0);
        rig.in.fill(std::vector<int16_t>(rig.engine->blockLength, 0));
        rig.view.tick();
    };
    rig.command(ID_RECORDING_ASSIGNMENTS);
    EXPECT_TRUE(rig.window.destroyed());
    EXPECT_EQ(rig.host.run(), 0);  // the quit is left for the main loop
    EXPECT_FALSE(rig.in.isOpen());
    EXPECT_FALSE(rig.mixerDevice->isOpen());
}

TEST(Reentrancy, CompletionsInsideTheEnginesOwnMessageBoxWaitForItsHandler) {
    UiRig rig;
    rig.create();
    rig.host.deliverDuringMessageBox = true;
    // The first playback write fails: its box opens inside the output pump,
    // and two more captured blocks arrive while it is open.
    rig.out.faults.fail(::sim::WaveCall::AddBuffer, 11, 0, 1);
    int posted = 0;
    rig.host.whileMessageBoxOpen = [&](const ::sim::MessageBoxRecord&) {
        if (posted++ > 0) return false;
        rig.in.fill(std::vector<int16_t>(rig.engine->blockLength, 7));
        rig.in.fill(std::vector<int16_t>(rig.engine->blockLength, 8));
        return true;
    };
    for (int i = 0; i < 3; ++i)
        rig.in.fill(std::vector<int16_t>(rig.engine->blockLength, 5));
    rig.host.runUntilIdle();
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].caption, "waveOutWrite");
    EXPECT_EQ(rig.window.hiddenAudioWindow()->deferredTotal(), 2u);
    // Every capture buffer is either queued once or held as a pending block.
    const auto& queue = rig.in.queue();
    EXPECT_EQ(std::set(queue.begin(), queue.end()).size(), queue.size());
    EXPECT_EQ(rig.in.queued() + rig.engine->pendingBlocks, engine::kBufferCount);
    // Blocks processed in order, each once: 0, 1, 2 after the five captures.
    EXPECT_EQ(rig.engine->processSlot, 3u);
}

}  // namespace
