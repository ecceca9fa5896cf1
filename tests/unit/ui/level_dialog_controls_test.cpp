// The Audio Level Controls as shown: a control with no mixer control behind
// it is disabled and shows no mark; on a card with every line all take input.
#include <gtest/gtest.h>

#include "mixer/dialog_templates.h"
#include "support/ui_rig.h"

using namespace mixer_ui;

namespace {

constexpr int kControls[] = {IDC_MASTER_MUTE,      IDC_MASTER_VOLUME, IDC_UNFILTERED,
                             IDC_LINE_OUT_VOLUME,  IDC_FILTERED,      IDC_WAVE_OUT_VOLUME,
                             IDC_AUTO_INPUT_LEVEL, IDC_WAVE_IN_VOLUME};

TEST(LevelDialogControls, DisabledAndClearWhereNoMixerControlStandsBehind) {
    UiRig full;
    full.create();
    full.tick();  // the first tick opens the dialog and routes the mutes
    const dialogs::DialogModel& shown = full.window.audioLevelDialog();
    for (int id : kControls)
        EXPECT_TRUE(shown.enabled(id)) << id;
    EXPECT_TRUE(shown.checked(IDC_FILTERED));
    EXPECT_FALSE(shown.checked(IDC_UNFILTERED));

    // A sound server's mixer: no line the program can assign, so nothing in
    // the dialog would change anything (the mutes' cached 0 said "on").
    UiRig server("sound_server.json");
    server.create();
    server.tick();
    const dialogs::DialogModel& bare = server.window.audioLevelDialog();
    ASSERT_TRUE(server.window.audioLevelDialog().isOpen());
    for (int id : kControls) {
        EXPECT_FALSE(bare.enabled(id)) << id;
        EXPECT_FALSE(bare.checked(id)) << id;
    }
    EXPECT_TRUE(bare.enabled(dialogs::kIdOk));
}

}  // namespace
