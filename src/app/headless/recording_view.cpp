#include "app/headless/recording_view.h"

#include <algorithm>

#include "ui/dialog_templates.h"
#include "ui/menu_table.h"
#include "ui/window_messages.h"

namespace headless {

using namespace ui;

namespace {
void load(std::map<uint32_t, MenuItemState>& states, std::span<const MenuNode> nodes) {
    forEachMenuItem(nodes, [&](const MenuNode& n) { states[n.id] = {n.checked, !n.grayed}; });
}
}  // namespace

RecordingView::RecordingView(platform::QueueHost& host) : host_(host) {
    load(main_, kMainMenu.bar);
    load(popup_, kPopupItems);
}

void RecordingView::record(std::string call) {
    calls.push_back(std::move(call));
    if (onCall) onCall(calls.back());
}

void RecordingView::setTitle(const std::string& t) {
    title = t;
    record("title " + t);
}

void RecordingView::loadPopupMenu() {
    popupLoaded = true;
    record("popup menu");
}

void RecordingView::setMenuItemChecked(Menu menu, uint32_t command, bool checked) {
    auto& states = menu == Menu::Main ? main_ : popup_;
    auto it = states.find(command);
    if (it != states.end()) it->second.checked = checked;
}

void RecordingView::setMenuItemEnabled(Menu menu, uint32_t command, bool enabled) {
    auto& states = menu == Menu::Main ? main_ : popup_;
    auto it = states.find(command);
    if (it != states.end()) it->second.enabled = enabled;
}

const MenuItemState& RecordingView::item(Menu menu, uint32_t command) const {
    static const MenuItemState missing{false, false};
    const auto& states = menu == Menu::Main ? main_ : popup_;
    auto it = states.find(command);
    return it == states.end() ? missing : it->second;
}

void RecordingView::showPopupMenu(int x, int y) {
    popups.emplace_back(x, y);
    record("show popup " + std::to_string(x) + "," + std::to_string(y));
}

uint32_t RecordingView::setTimer(uint32_t id, uint32_t periodMs) {
    timers[id] = periodMs;
    record("timer " + std::to_string(id) + " " + std::to_string(periodMs));
    return id;
}

void RecordingView::killTimer(uint32_t id) {
    timers.erase(id);
    record("kill timer " + std::to_string(id));
}

bool RecordingView::tick() {
    if (timers.empty() || destroyed || !window_) return false;
    host_.postMessage(window_, kWmTimer, timers.begin()->first, 0);
    return true;
}

void RecordingView::invalidate(bool) {
    ++invalidations;
}

FontMetrics RecordingView::fontMetrics() {
    record("font metrics");
    return metrics;
}

intptr_t RecordingView::runModalDialog(DialogModel& model) {
    const int id = model.dialogTemplate().resourceId;
    dialogsShown.push_back(id);
    record("dialog " + std::to_string(id));
    if (destroyed) return -1;
    ++modalRunning_;
    model.initDialog();
    if (onModalDialog) onModalDialog(model);
    // While the dialog is open, whatever was posted is delivered.
    host_.runModal([&] { return model.ended() || destroyed; });
    if (!model.ended() && !destroyed && !host_.quitReached())
        model.command(id == kWelcomeDialog.resourceId ? kIdOk : kIdCancel);
    --modalRunning_;
    if (destroyed || host_.quitReached()) return -1;
    return model.result();
}

void RecordingView::openModelessDialog(DialogModel& model) {
    dialogsShown.push_back(model.dialogTemplate().resourceId);
    record("modeless " + std::to_string(model.dialogTemplate().resourceId));
    if (destroyed) return;
    model.initDialog();
    modeless_.push_back(&model);
}

void RecordingView::raiseDialog(DialogModel& model) {
    ++raises;
    record("raise " + std::to_string(model.dialogTemplate().resourceId));
}

void RecordingView::refreshDialog(DialogModel& model) {
    if (isOpen(model)) ++refreshes;
}

bool RecordingView::isOpen(const DialogModel& model) const {
    return std::find(modeless_.begin(), modeless_.end(), &model) != modeless_.end();
}

void RecordingView::dialogCommand(DialogModel& model, int id) {
    if (!isOpen(model)) return;
    model.command(id);
    if (model.ended()) std::erase(modeless_, &model);
}

int RecordingView::messageBox(const std::string& text, const std::string& caption, uint32_t style) {
    record("message box " + caption);
    return platform::host().messageBox(window_, text, caption, style);
}

void RecordingView::destroyWindow() {
    if (destroyed) return;
    record("destroy window");
    destroyed = true;
    modeless_.clear();
    if (window_) window_->handleMessage(kWmDestroy, 0, 0);
}

}  // namespace headless
