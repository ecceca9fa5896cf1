// What arrives inside the modal calls of the window's creation: a destruction,
// a mixer notification, a timer tick. Each runs in the box's or the dialog's
// own loop, before the creation step after it.
#include <gtest/gtest.h>

#include "support/ui_rig.h"
#include "ui/dialog_templates.h"

using namespace ui;

namespace {

// Nothing is made once the window is gone, whatever the creation step.
void expectNothingLeftRunning(const UiRig& rig) {
    EXPECT_TRUE(rig.window.destroyed());
    EXPECT_FALSE(rig.window.created());
    EXPECT_FALSE(rig.mixerDevice->isOpen());
    EXPECT_FALSE(rig.in.isOpen());
    EXPECT_FALSE(rig.out.isOpen());
    EXPECT_TRUE(rig.view.timers.empty());
}

TEST(CreationGuards, DestroyedInsideWelcomeThenAgreedMakesNothing) {
    UiRig rig;
    rig.create([&](DialogModel& d) {
        rig.send(kWmDestroy);
        d.command(kIdOk);  // the dialog still answers Agree
    });
    expectNothingLeftRunning(rig);
    EXPECT_TRUE(rig.view.title.empty());
}

TEST(CreationGuards, DestroyedInsideTheMixersBoxMakesNothingAfter) {
    UiRig rig("no_mixer.json");
    rig.host.deliverDuringMessageBox = true;
    rig.host.whileMessageBoxOpen = [&](const ::sim::MessageBoxRecord&) {
        if (rig.window.destroyed()) return false;
        rig.host.postMessage(&rig.window, kWmDestroy, 0, 0);
        return true;
    };
    rig.create();
    // Its box only: no assignment was tried on the mixer that was let go.
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].caption, "CMixer::initialize");
    expectNothingLeftRunning(rig);
}

TEST(CreationGuards, ANotificationInsideTheMixerSetUpBoxReadsNothing) {
    // A line whose information cannot be read: its box opens while the mixer
    // is open and half copied, and nothing is assigned yet.
    UiRig rig("destination_info_fails.json");
    rig.host.deliverDuringMessageBox = true;
    size_t readsAtPost = 0;
    size_t readsAfterDelivery = 0;
    bool posted = false;
    rig.host.whileMessageBoxOpen = [&](const ::sim::MessageBoxRecord&) {
        if (posted) {
            readsAfterDelivery = rig.mixerDevice->reads;
            return false;
        }
        posted = true;
        readsAtPost = rig.mixerDevice->reads;
        rig.host.postMessage(&rig.window, platform::kMmMixmControlChange, 0, 0);
        rig.host.postMessage(&rig.window, platform::kMmMixmLineChange, 0, 0);
        return true;
    };
    rig.create();
    ASSERT_TRUE(posted);
    EXPECT_EQ(readsAfterDelivery, readsAtPost);
    EXPECT_TRUE(rig.window.created());
}

TEST(CreationGuards, ATickInsideADeviceFailureBoxIsTheFirstTick) {
    UiRig rig;
    rig.in.faults.fail(::sim::WaveCall::Open, 2);  // waveInOpen fails: its box opens
    rig.host.deliverDuringMessageBox = true;
    bool ticked = false;
    rig.host.whileMessageBoxOpen = [&](const ::sim::MessageBoxRecord& box) {
        if (ticked || box.caption != "waveInOpen") return false;
        ticked = rig.view.tick();
        return ticked;
    };
    rig.create();
    ASSERT_TRUE(ticked);
    EXPECT_EQ(rig.s().bFirstTickDone, 1u);
    EXPECT_EQ(rig.view.dialogsShown, (std::vector<int>{112, 118}));
    EXPECT_EQ(rig.mixer.dwLineOutMute, 1u);
}

}  // namespace
