#include "mixer/assignment_dialogs.h"

#include "mixer/dialog_templates.h"

using namespace mixer_ui;

namespace {
// Selecting an index the list does not have leaves it without a selection.
int32_t selectionFor(const ListBoxModel& list, uint32_t index) {
    return index < list.items.size() ? static_cast<int32_t>(index) : -1;
}
}  // namespace

bool AssignmentDialog::initDialog() {
    refill();
    return true;
}

void AssignmentDialog::fill(uint32_t destination, uint32_t sourceSelection) {
    destinations_ = {};
    sources_ = {};
    waveOut_ = {};
    for (uint32_t d = 0;; ++d) {
        const char* name = mixer_.getDestinationName(d);
        if (!name) break;
        destinations_.items.emplace_back(name);
    }
    destinations_.selection = selectionFor(destinations_, destination);
    for (uint32_t s = 0;; ++s) {
        const char* name = mixer_.getSourceName(destination, s);
        if (!name) break;
        sources_.items.emplace_back(name);
    }
    sources_.selection = selectionFor(sources_, sourceSelection);
}

bool AssignmentDialog::listSelectionChanged(int listId, int32_t k) {
    if (k < 0) return false;
    if (!apply(listId, static_cast<uint32_t>(k))) return false;
    refill();
    return false;
}

bool AssignmentDialog::command(int id) {
    if (id != platform::kIdOk && id != platform::kIdCancel) return false;
    bEnded = true;
    nResult = 0;
    return true;
}

const ListBoxModel& AssignmentDialog::list(int listId) const {
    if (listId == IDC_DESTINATION_LIST) return destinations_;
    if (listId == IDC_SOURCE_LIST) return sources_;
    return waveOut_;
}

void RecordAssignmentDialog::refill() {
    fill(mixer_.dwRecordDest, mixer_.dwRecordSrc);
}

bool RecordAssignmentDialog::apply(int listId, uint32_t k) {
    if (listId == IDC_DESTINATION_LIST)
        mixer_.applyRecordingAssignment(k, kMixerNone);
    else if (listId == IDC_SOURCE_LIST)
        mixer_.applyRecordingAssignment(mixer_.dwRecordDest, k);
    else
        return false;
    return true;
}

void PlaybackAssignmentDialog::refill() {
    fill(mixer_.dwPlaybackDest, mixer_.dwLineOutSrc);
    waveOut_.items = sources_.items;
    waveOut_.selection = selectionFor(waveOut_, mixer_.dwWaveOutSrc);
}

bool PlaybackAssignmentDialog::apply(int listId, uint32_t k) {
    if (listId == IDC_DESTINATION_LIST)
        mixer_.applyPlaybackAssignment(k, kMixerNone, kMixerNone);
    else if (listId == IDC_SOURCE_LIST)
        mixer_.applyPlaybackAssignment(mixer_.dwPlaybackDest, k, mixer_.dwWaveOutSrc);
    else if (listId == IDC_WAVE_OUT_LIST)
        mixer_.applyPlaybackAssignment(mixer_.dwPlaybackDest, mixer_.dwLineOutSrc, k);
    else
        return false;
    return true;
}

bool AssignmentDialog::hasList(int id) const {
    for (const dialogs::DialogItem& item : template_.items)
        if (item.id == id && item.kind == dialogs::ItemKind::ListBox) return true;
    return false;
}

std::vector<std::string> AssignmentDialog::listItems(int id) const {
    return hasList(id) ? list(id).items : std::vector<std::string>{};
}

int32_t AssignmentDialog::listSelection(int id) const {
    return hasList(id) ? list(id).selection : -1;
}
