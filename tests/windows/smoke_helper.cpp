// The smoke run's helper inside wine.
//
// tarnix-smoke-helper PROGRAM.exe
//     Checks the resources built into the program against the core's tables,
//     as Windows itself reads them: the menus 101 and 104 (labels,
//     identifiers, initial check and gray states, nesting), the icon 113 and
//     the seven dialogs (caption, font, size, and every control's class, text,
//     style, tab stop, identifier and place in pixels). Prints every
//     difference; the exit code is the number found (0: all agree).
// tarnix-smoke-helper --box CAPTION [BUTTON]
//     Waits up to 20 s for a dialog or box of that caption, prints its texts
//     and presses OK or the button of that identifier (exit code 0; 100 when
//     none came).
// tarnix-smoke-helper --boxes-before CAPTION
//     Answers OK to every other message box (printing caption and text) until
//     a window of that caption is up.
// tarnix-smoke-helper --boxes-for SECONDS
//     Answers OK to every message box for a while.
// tarnix-smoke-helper --command LABEL
//     Chooses the main menu's item of that label (as "E&qualizer") in the
//     running program, by the item's identifier from the table.
// tarnix-smoke-helper --gone CAPTION
//     Waits up to 5 s for the window of that caption to go (exit code 0).
// tarnix-smoke-helper --raise CAPTION | --move CAPTION X Y
//     Brings a window to the top, or moves it, for a clear screenshot.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "app/win32/resource_tables.h"
#include "ui/menu_table.h"

namespace {

int gFaults = 0;

void fault(const std::string& where, const std::string& what) {
    std::printf("%s: %s\n", where.c_str(), what.c_str());
    ++gFaults;
}

void expectText(const std::string& where, const std::string& got, const std::string& want) {
    if (got != want) fault(where, "'" + got + "', expected '" + want + "'");
}

void checkMenu(HMENU menu, std::span<const ui::MenuNode> nodes, const std::string& where) {
    const int count = GetMenuItemCount(menu);
    if (count != static_cast<int>(nodes.size())) {
        fault(where, std::to_string(count) + " items, expected " + std::to_string(nodes.size()));
        return;
    }
    for (int i = 0; i < count; ++i) {
        const ui::MenuNode& node = nodes[static_cast<size_t>(i)];
        char label[256] = {};
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING | MIIM_SUBMENU;
        info.dwTypeData = label;
        info.cch = sizeof label;
        const std::string at = where + " / " + (node.label[0] ? node.label : "separator");
        if (!GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info)) {
            fault(at, "cannot be read");
            continue;
        }
        const bool separator = (info.fType & MFT_SEPARATOR) != 0;
        if (separator != (node.kind == ui::MenuNodeKind::Separator)) fault(at, "separator or not");
        if (separator) continue;
        expectText(at, label, node.label);
        if ((info.hSubMenu != nullptr) != (node.kind == ui::MenuNodeKind::Submenu)) {
            fault(at, "submenu or not");
            continue;
        }
        if (info.hSubMenu) {
            checkMenu(info.hSubMenu, node.children, at);
            continue;
        }
        if (info.wID != node.id) fault(at, "identifier " + std::to_string(info.wID));
        if (((info.fState & MFS_CHECKED) != 0) != node.checked) fault(at, "check mark");
        if (((info.fState & MFS_GRAYED) != 0) != node.grayed) fault(at, "gray state");
    }
}

struct ExpectedClass {
    const char* name;
    LONG style;  // the type bits
    LONG mask;
};

ExpectedClass expectedClass(dialogs::ItemKind kind) {
    switch (kind) {
        case dialogs::ItemKind::AutoCheckBox:
            return {"Button", BS_AUTOCHECKBOX, BS_TYPEMASK};
        case dialogs::ItemKind::CheckBox:
            return {"Button", BS_CHECKBOX, BS_TYPEMASK};
        case dialogs::ItemKind::AutoRadioButton:
            return {"Button", BS_AUTORADIOBUTTON, BS_TYPEMASK};
        case dialogs::ItemKind::HorizontalScrollBar:
            return {"ScrollBar", SBS_HORZ, SBS_VERT};
        case dialogs::ItemKind::PushButton:
            return {"Button", BS_PUSHBUTTON, BS_TYPEMASK};
        case dialogs::ItemKind::DefaultPushButton:
            return {"Button", BS_DEFPUSHBUTTON, BS_TYPEMASK};
        case dialogs::ItemKind::StaticText:
            return {"Static", SS_LEFT, SS_TYPEMASK};
        case dialogs::ItemKind::ListBox:
            return {"ListBox", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                    LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_SORT};
        case dialogs::ItemKind::GroupBox:
            return {"Button", BS_GROUPBOX, BS_TYPEMASK};
        case dialogs::ItemKind::CentredText:
            return {"Static", SS_CENTER, SS_TYPEMASK};
    }
    return {"", 0, 0};
}

INT_PTR CALLBACK quietProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

std::string textOf(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

void checkDialog(HMODULE module, const dialogs::DialogTemplate& t) {
    const std::string where = "dialog " + std::to_string(t.resourceId);
    HWND dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(t.resourceId), nullptr, quietProc, 0);
    if (!dialog) {
        fault(where, "cannot be made");
        return;
    }
    expectText(where + " caption", textOf(dialog), t.caption);
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
    expectText(where + " font", font.lfFaceName, dialogs::kFontName);
    RECT client{};
    GetClientRect(dialog, &client);
    RECT size{0, 0, t.width, t.height};
    MapDialogRect(dialog, &size);
    if (client.right != size.right || client.bottom != size.bottom) fault(where, "client size");

    HWND child = GetWindow(dialog, GW_CHILD);
    for (const dialogs::DialogItem& item : t.items) {
        const std::string at = where + " '" + item.text + "' (" + std::to_string(item.id) + ")";
        if (!child) {
            fault(at, "missing");
            break;
        }
        const ExpectedClass c = expectedClass(item.kind);
        char name[64] = {};
        GetClassNameA(child, name, sizeof name);
        if (lstrcmpiA(name, c.name) != 0) fault(at, std::string("class ") + name);
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        if ((style & c.mask) != c.style) fault(at, "style");
        if (((style & WS_TABSTOP) != 0) != item.tabStop) fault(at, "tab stop");
        // A control without an identifier has 0xFFFF, the 16-bit -1.
        if ((GetDlgCtrlID(child) & 0xFFFF) != (item.id & 0xFFFF)) fault(at, "identifier");
        if (item.kind != dialogs::ItemKind::ListBox &&
            item.kind != dialogs::ItemKind::HorizontalScrollBar)
            expectText(at, textOf(child), item.text);
        // The dialog manager converts the origin and the size each on its own.
        RECT want{item.x, item.y, item.width, item.height};
        MapDialogRect(dialog, &want);
        want.right += want.left;
        want.bottom += want.top;
        RECT got{};
        GetWindowRect(child, &got);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&got), 2);
        if (!EqualRect(&want, &got)) fault(at, "place");
        child = GetWindow(child, GW_HWNDNEXT);
    }
    if (child) fault(where, "more controls than the template");
    DestroyWindow(dialog);
}

// A message box is a dialog whose text is its one static control.
BOOL CALLBACK printStatic(HWND child, LPARAM) {
    char name[64] = {};
    GetClassNameA(child, name, sizeof name);
    if (lstrcmpiA(name, "Static") == 0 && GetWindowTextLengthA(child) > 0)
        std::printf("%s\n", textOf(child).c_str());
    return TRUE;
}

int answerBox(const char* caption, int button) {
    for (int i = 0; i < 200; ++i) {
        if (HWND box = FindWindowA("#32770", caption)) {
            EnumChildWindows(box, printStatic, 0);
            PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
            return 0;
        }
        Sleep(100);
    }
    std::printf("no box '%s'\n", caption);
    return 100;
}

}  // namespace

bool isTemplateCaption(const std::string& caption) {
    for (const dialogs::DialogTemplate* t : win32_app::kDialogTemplates)
        if (caption == t->caption) return true;
    return false;
}

BOOL CALLBACK answerOtherBox(HWND window, LPARAM until) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    const std::string caption = textOf(window);
    if (std::string(name) != "#32770" || !IsWindowVisible(window) || isTemplateCaption(caption) ||
        caption == reinterpret_cast<const char*>(until))
        return TRUE;
    std::printf("%s: ", caption.c_str());
    EnumChildWindows(window, printStatic, 0);
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

int answerBoxesFor(int seconds) {
    for (int i = 0; i < 10 * seconds; ++i) {
        EnumWindows(answerOtherBox, reinterpret_cast<LPARAM>(""));
        std::fflush(stdout);
        Sleep(100);
    }
    return 0;
}

int answerBoxesBefore(const char* caption) {
    for (int i = 0; i < 300; ++i) {
        if (FindWindowA(nullptr, caption)) return 0;
        EnumWindows(answerOtherBox, reinterpret_cast<LPARAM>(caption));
        std::fflush(stdout);
        Sleep(100);
    }
    std::printf("no window '%s'\n", caption);
    return 100;
}

uint32_t commandOf(std::span<const ui::MenuNode> nodes, const std::string& label) {
    for (const ui::MenuNode& n : nodes) {
        if (n.kind == ui::MenuNodeKind::Item && label == n.label) return n.id;
        if (n.kind == ui::MenuNodeKind::Submenu)
            if (const uint32_t id = commandOf(n.children, label)) return id;
    }
    return 0;
}

int chooseCommand(const std::string& label) {
    const uint32_t id = commandOf(ui::kMainMenu.bar, label);
    HWND window = FindWindowA(ui::kMainWindowClass, nullptr);
    if (!id || !window) {
        std::printf("no item '%s' or no main window\n", label.c_str());
        return 100;
    }
    PostMessageA(window, WM_COMMAND, id, 0);
    return 0;
}

int main(int argc, char** argv) {
    if ((argc == 3 || argc == 4) && std::string(argv[1]) == "--box")
        return answerBox(argv[2], argc == 4 ? std::atoi(argv[3]) : IDOK);
    if (argc == 3 && std::string(argv[1]) == "--command") return chooseCommand(argv[2]);
    if (argc == 3 && std::string(argv[1]) == "--gone") {
        for (int i = 0; i < 50; ++i) {
            if (!FindWindowA(nullptr, argv[2])) return 0;
            Sleep(100);
        }
        return 100;
    }
    if (argc == 5 && std::string(argv[1]) == "--move") {
        HWND window = FindWindowA(nullptr, argv[2]);
        if (window)
            SetWindowPos(window, HWND_TOP, std::atoi(argv[3]), std::atoi(argv[4]), 0, 0,
                         SWP_NOSIZE);
        return window ? 0 : 100;
    }
    if (argc == 3 && std::string(argv[1]) == "--beside") {
        // The window stands clear of the main window.
        HWND window = FindWindowA(nullptr, argv[2]);
        HWND main = FindWindowA(ui::kMainWindowClass, nullptr);
        RECT a, b, both;
        if (!window || !main || !GetWindowRect(window, &a) || !GetWindowRect(main, &b)) return 100;
        std::printf("%ld,%ld-%ld,%ld beside %ld,%ld-%ld,%ld\n", a.left, a.top, a.right, a.bottom,
                    b.left, b.top, b.right, b.bottom);
        return IntersectRect(&both, &a, &b) ? 1 : 0;
    }
    if (argc == 3 && std::string(argv[1]) == "--raise") {
        HWND window = FindWindowA(nullptr, argv[2]);
        if (window) SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        return window ? 0 : 100;
    }
    if (argc == 3 && std::string(argv[1]) == "--boxes-before") return answerBoxesBefore(argv[2]);
    if (argc == 3 && std::string(argv[1]) == "--boxes-for")
        return answerBoxesFor(std::atoi(argv[2]));
    if (argc != 2) {
        std::fprintf(
            stderr,
            "usage: tarnix-smoke-helper PROGRAM.exe | --box CAPTION | --raise CAPTION | --beside "
            "CAPTION | ...\n");
        return 100;
    }
    HMODULE module = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
        std::printf("%s: cannot be loaded\n", argv[1]);
        return 100;
    }
    checkMenu(LoadMenuA(module, MAKEINTRESOURCEA(ui::kMainMenu.resourceId)), ui::kMainMenu.bar,
              "menu 101");
    checkMenu(LoadMenuA(module, MAKEINTRESOURCEA(ui::kPopupMenuResource.resourceId)),
              ui::kPopupMenuResource.bar, "menu 104");
    if (!LoadIconA(module, MAKEINTRESOURCEA(113))) fault("icon 113", "missing");
    for (const dialogs::DialogTemplate* t : win32_app::kDialogTemplates)
        checkDialog(module, *t);
    std::printf("%d difference(s)\n", gFaults);
    return gFaults;
}
