#include "ui/mixer_dialog_models.h"

namespace ui {

const DialogTemplate& AudioLevelDialogModel::dialogTemplate() const {
    return mixer_ui::kAudioLevelDialog;
}

ScrollRange AudioLevelDialogModel::scrollRange(int id) const {
    const bool bar = id >= mixer_ui::IDC_MASTER_VOLUME && id <= mixer_ui::IDC_WAVE_IN_VOLUME;
    if (!bar || !d_.rangeSet()) return {};
    return {0, 65535};
}

bool AssignmentDialogModel::hasList(int id) const {
    for (const DialogItem& item : t_.items)
        if (item.id == id && item.kind == ItemKind::ListBox) return true;
    return false;
}

std::vector<std::string> AssignmentDialogModel::listItems(int id) const {
    if (!hasList(id)) return {};
    return d_.list(id).items;
}

int32_t AssignmentDialogModel::listSelection(int id) const {
    if (!hasList(id)) return -1;
    return d_.list(id).selection;
}

}  // namespace ui
