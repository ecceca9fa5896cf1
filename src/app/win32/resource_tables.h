// The seven dialog templates of tarnix.exe, for the resource script and the
// check of the built resources.
#pragma once

#include "mixer/dialog_templates.h"
#include "ui/dialog_templates.h"

namespace win32_app {

inline constexpr const dialogs::DialogTemplate* kDialogTemplates[] = {
    &ui::kWelcomeDialog,
    &ui::kQuickHelpDialog,
    &ui::kAboutDialog,
    &mixer_ui::kAudioLevelDialog,
    &mixer_ui::kRecordAssignmentDialog,
    &mixer_ui::kPlaybackAssignmentDialog,
    &mixer_ui::kDumpDialog,
};

}  // namespace win32_app
