#include "app/win32/main_view.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/host.h"
#include "platform/win32/win32_platform.h"
#include "ui/dialog_placement.h"

namespace win32_app {
namespace {

HWND gActiveDialog = nullptr;

const dialogs::DialogItem* findItem(const dialogs::DialogModel& model, int id) {
    for (const auto& item : model.dialogTemplate().items)
        if (item.id == id) return &item;
    return nullptr;
}

std::string windowText(HWND window) {
    std::string s(static_cast<size_t>(GetWindowTextLengthA(window)) + 1, '\0');
    s.resize(static_cast<size_t>(GetWindowTextA(window, s.data(), static_cast<int>(s.size()))));
    return s;
}

void setListItems(HWND list, const std::vector<std::string>& items) {
    const auto count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    bool same = count == static_cast<LRESULT>(items.size());
    for (size_t i = 0; same && i < items.size(); ++i) {
        std::string s(static_cast<size_t>(SendMessageA(list, LB_GETTEXTLEN, i, 0)) + 1, '\0');
        SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(s.data()));
        same = s.c_str() == items[i];
    }
    if (same) return;  // refilling would lose the list's scroll position
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (const std::string& item : items)
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

// Every control from the model; those it says nothing about keep their state.
void refresh(HWND dialog, const dialogs::DialogModel& model) {
    for (const auto& item : model.dialogTemplate().items) {
        if (item.id < 0) continue;
        HWND control = GetDlgItem(dialog, item.id);
        if (!control) continue;
        switch (item.kind) {
            case dialogs::ItemKind::AutoCheckBox:
            case dialogs::ItemKind::CheckBox:
            case dialogs::ItemKind::AutoRadioButton:
                CheckDlgButton(dialog, item.id,
                               model.checked(item.id) ? BST_CHECKED : BST_UNCHECKED);
                break;
            case dialogs::ItemKind::ListBox: {
                setListItems(control, model.listItems(item.id));
                const int32_t selection = model.listSelection(item.id);
                if (SendMessageA(control, LB_GETCURSEL, 0, 0) != selection)
                    SendMessageA(control, LB_SETCURSEL, static_cast<WPARAM>(selection), 0);
                break;
            }
            case dialogs::ItemKind::HorizontalScrollBar: {
                const dialogs::ScrollRange range = model.scrollRange(item.id);
                if (range.maximum > range.minimum) {
                    SetScrollRange(control, SB_CTL, range.minimum, range.maximum, FALSE);
                    SetScrollPos(control, SB_CTL, model.scrollPosition(item.id), TRUE);
                }
                break;
            }
            default:
                break;
        }
        const bool takesInput = item.kind != dialogs::ItemKind::StaticText &&
                                item.kind != dialogs::ItemKind::CentredText &&
                                item.kind != dialogs::ItemKind::GroupBox;
        if (takesInput) {
            const bool enabled = model.enabled(item.id);
            if ((IsWindowEnabled(control) != FALSE) != enabled) EnableWindow(control, enabled);
        }
        if (auto text = model.text(item.id); text && windowText(control) != *text)
            SetWindowTextA(control, text->c_str());
    }
}

// Where the user sees both the dialog and the main window: the modeless one
// beside the window, a modal one without its own place centred over it.
void placeDialog(HWND dialog, HWND owner, const dialogs::DialogTemplate& t, bool modal) {
    if (!owner || (modal && t.centred)) return;
    RECT o, d;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetWindowRect(owner, &o) || !GetWindowRect(dialog, &d) ||
        !GetMonitorInfoA(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    const RECT& w = monitor.rcWork;
    const ui::ScreenPoint at =
        ui::placeDialog(modal ? ui::DialogPlace::CentredOnOwner : ui::DialogPlace::Beside,
                        {o.left, o.top, o.right - o.left, o.bottom - o.top}, d.right - d.left,
                        d.bottom - d.top, {w.left, w.top, w.right - w.left, w.bottom - w.top});
    SetWindowPos(dialog, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

// One procedure for all seven dialogs: inputs go to the model, then the
// controls are set from it, or the dialog ends when the model has.
INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* context =
        reinterpret_cast<Win32View::DialogContext*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (message == WM_INITDIALOG) {
        context = reinterpret_cast<Win32View::DialogContext*>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        if (context->modal)
            context->view->modalStarted(dialog);
        else
            context->view->modeless_[context->model] = dialog;
        placeDialog(dialog, context->view->window(), context->model->dialogTemplate(),
                    context->modal);
        context->model->initDialog();
        refresh(dialog, *context->model);
        return TRUE;
    }
    if (!context) return FALSE;
    dialogs::DialogModel& model = *context->model;
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            const dialogs::DialogItem* item = findItem(model, id);
            if (item && item->kind == dialogs::ItemKind::ListBox) {
                if (code != LBN_SELCHANGE) return FALSE;
                const auto selection =
                    SendMessageA(reinterpret_cast<HWND>(lParam), LB_GETCURSEL, 0, 0);
                model.listSelectionChanged(
                    id, selection == LB_ERR ? -1 : static_cast<int32_t>(selection));
            } else if (code == BN_CLICKED) {
                model.command(id);
            } else {
                return FALSE;
            }
            break;
        }
        case WM_HSCROLL:
            model.horizontalScroll(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)), LOWORD(wParam),
                                   HIWORD(wParam));
            break;
        case WM_ACTIVATE:
            if (!context->modal) {
                if (LOWORD(wParam) != WA_INACTIVE)
                    gActiveDialog = dialog;
                else if (gActiveDialog == dialog)
                    gActiveDialog = nullptr;
            }
            return FALSE;
        case WM_DESTROY:
            if (gActiveDialog == dialog) gActiveDialog = nullptr;
            if (context->modal)
                context->view->modalEnded(dialog);
            else
                context->view->modeless_.erase(context->model);
            return FALSE;
        default:
            return FALSE;
    }
    if (!model.ended()) {
        refresh(dialog, model);
    } else if (context->modal) {
        EndDialog(dialog, model.result());
    } else {
        DestroyWindow(dialog);
    }
    return TRUE;
}

void Win32View::modalStarted(HWND dialog) {
    modal_.push_back(dialog);
    platform::win32::setBoxOwner(controller_, dialog);
}

void Win32View::modalEnded(HWND dialog) {
    std::erase(modal_, dialog);
    platform::win32::setBoxOwner(controller_, modal_.empty() ? nullptr : modal_.back());
}

void Win32View::keepDialogsAbove() {
    // The modeless dialogs are owned by the main window and stand above it.
    // Under wine's virtual desktop a click on the main window or maximising
    // it draws it over them although they are still above it in the window
    // list, so afterwards each is taken below the main window and put back
    // on top, which restacks it on the screen as well.
    if (!window_ || !IsWindowVisible(window_)) return;
    for (const auto& [model, dialog] : modeless_) {
        constexpr UINT kFlags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
        SetWindowPos(dialog, window_, 0, 0, 0, 0, kFlags);
        SetWindowPos(dialog, HWND_TOP, 0, 0, 0, 0, kFlags);
    }
}

HWND Win32View::activeDialog() {
    return gActiveDialog;
}

void Win32View::setTitle(const std::string& title) {
    SetWindowTextA(window_, title.c_str());
}

void Win32View::loadPopupMenu() {
    if (!popupResource_) popupResource_ = LoadMenuA(instance_, MAKEINTRESOURCEA(ui::Menu::Popup));
    popup_ = popupResource_ ? GetSubMenu(popupResource_, 0) : nullptr;
}

HMENU Win32View::menuOf(ui::Menu menu) const {
    return menu == ui::Menu::Main ? GetMenu(window_) : popup_;
}

void Win32View::setMenuItemChecked(ui::Menu menu, uint32_t command, bool checked) {
    if (HMENU m = menuOf(menu))
        CheckMenuItem(m, command, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void Win32View::setMenuItemEnabled(ui::Menu menu, uint32_t command, bool enabled) {
    if (HMENU m = menuOf(menu))
        EnableMenuItem(m, command, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void Win32View::showPopupMenu(int x, int y) {
    if (!popup_) return;
    POINT p{x, y};
    ClientToScreen(window_, &p);
    TrackPopupMenu(popup_, TPM_LEFTALIGN | TPM_LEFTBUTTON, p.x, p.y, 0, window_, nullptr);
}

uint32_t Win32View::setTimer(uint32_t id, uint32_t periodMs) {
    return static_cast<uint32_t>(SetTimer(window_, id, periodMs, nullptr));
}

void Win32View::killTimer(uint32_t id) {
    KillTimer(window_, id);
}

void Win32View::invalidate(bool erase) {
    InvalidateRect(window_, nullptr, erase);
}

bool Win32View::isMinimised() const {
    return IsIconic(window_);
}

ui::FontMetrics Win32View::fontMetrics() {
    ui::FontMetrics m;
    HDC dc = GetDC(window_);
    TEXTMETRICA tm{};
    if (dc && GetTextMetricsA(dc, &tm)) {
        m.maxCharWidth = tm.tmMaxCharWidth;
        m.height = tm.tmHeight;
        INT widths[95] = {};
        if (GetCharWidth32A(dc, ' ', '~', widths))
            for (size_t i = 0; i < m.advance.size(); ++i)
                m.advance[i] = static_cast<uint8_t>(std::clamp(widths[i], 0, 255));
    }
    if (dc) ReleaseDC(window_, dc);
    return m;
}

intptr_t Win32View::runModalDialog(dialogs::DialogModel& model) {
    DialogContext context{&model, true, this};
    DialogBoxParamA(instance_, MAKEINTRESOURCEA(model.dialogTemplate().resourceId), window_,
                    dialogProc, reinterpret_cast<LPARAM>(&context));
    // Ended by the quit message or by the window's destruction.
    if (!model.ended()) return -1;
    return model.result();
}

void Win32View::openModelessDialog(dialogs::DialogModel& model) {
    if (modeless_.count(&model)) return raiseDialog(model);
    auto& context = modelessContexts_[&model];
    context = std::make_unique<DialogContext>(DialogContext{&model, false, this});
    HWND dialog = CreateDialogParamA(instance_, MAKEINTRESOURCEA(model.dialogTemplate().resourceId),
                                     window_, dialogProc, reinterpret_cast<LPARAM>(context.get()));
    if (dialog) ShowWindow(dialog, SW_SHOW);
}

void Win32View::raiseDialog(dialogs::DialogModel& model) {
    if (auto it = modeless_.find(&model); it != modeless_.end()) BringWindowToTop(it->second);
}

void Win32View::refreshDialog(dialogs::DialogModel& model) {
    if (auto it = modeless_.find(&model); it != modeless_.end()) refresh(it->second, model);
}

int Win32View::messageBox(const std::string& text, const std::string& caption, uint32_t style) {
    return platform::host().messageBox(controller_, text, caption, style);
}

void Win32View::destroyWindow() {
    // Windows destroys the owned dialogs first, then the window itself.
    if (window_) DestroyWindow(window_);
}

}  // namespace win32_app
