// Writes the resource script of tarnix.exe from the core's tables: the menus
// 101 and 104, the seven dialog templates and the icon 113. It runs on the
// build machine, so the resources can never differ from what the core and the
// tests take for the menus and dialogs.
//
// Usage: tarnix-resource-script ICON OUT.rc
#include <cstdio>
#include <fstream>
#include <span>
#include <sstream>
#include <string>

#include "app/win32/resource_tables.h"
#include "ui/menu_table.h"

namespace {

using dialogs::DialogTemplate;
using dialogs::ItemKind;

std::string quoted(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"')
            out += "\"\"";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out + "\"";
}

void writeMenu(std::ostream& out, std::span<const ui::MenuNode> nodes, int depth) {
    const std::string indent(2 * depth, ' ');
    out << indent << "BEGIN\n";
    for (const ui::MenuNode& n : nodes) {
        switch (n.kind) {
            case ui::MenuNodeKind::Separator:
                out << indent << "  MENUITEM SEPARATOR\n";
                break;
            case ui::MenuNodeKind::Submenu:
                out << indent << "  POPUP " << quoted(n.label) << "\n";
                writeMenu(out, n.children, depth + 1);
                break;
            case ui::MenuNodeKind::Item:
                out << indent << "  MENUITEM " << quoted(n.label) << ", " << n.id;
                if (n.checked) out << ", CHECKED";
                if (n.grayed) out << ", GRAYED";
                out << "\n";
                break;
        }
    }
    out << indent << "END\n";
}

struct ControlClass {
    const char* name;
    const char* style;
};

ControlClass controlClass(ItemKind kind) {
    switch (kind) {
        case ItemKind::AutoCheckBox:
            return {"Button", "BS_AUTOCHECKBOX"};
        case ItemKind::CheckBox:
            return {"Button", "BS_CHECKBOX"};
        case ItemKind::AutoRadioButton:
            return {"Button", "BS_AUTORADIOBUTTON"};
        case ItemKind::HorizontalScrollBar:
            return {"ScrollBar", "SBS_HORZ"};
        case ItemKind::PushButton:
            return {"Button", "BS_PUSHBUTTON"};
        case ItemKind::DefaultPushButton:
            return {"Button", "BS_DEFPUSHBUTTON"};
        case ItemKind::StaticText:
            return {"Static", "SS_LEFT"};
        case ItemKind::ListBox:
            return {"ListBox", "LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER"};
        case ItemKind::GroupBox:
            return {"Button", "BS_GROUPBOX"};
        case ItemKind::CentredText:
            return {"Static", "SS_CENTER"};
    }
    return {"Static", "SS_LEFT"};
}

void writeDialog(std::ostream& out, const DialogTemplate& d) {
    out << d.resourceId << " DIALOGEX 0, 0, " << d.width << ", " << d.height << "\n"
        << "STYLE DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU"
        << (d.centred ? " | DS_CENTER" : "") << "\n"
        << "CAPTION " << quoted(d.caption) << "\n"
        << "FONT " << dialogs::kFontSize << ", " << quoted(dialogs::kFontName) << "\n"
        << "BEGIN\n";
    // The automatic radio buttons form one group: it starts at the first of
    // them and ends before the control that follows the last.
    int firstRadio = -1, lastRadio = -1;
    for (size_t i = 0; i < d.items.size(); ++i) {
        if (d.items[i].kind != ItemKind::AutoRadioButton) continue;
        if (firstRadio < 0) firstRadio = static_cast<int>(i);
        lastRadio = static_cast<int>(i);
    }
    for (size_t i = 0; i < d.items.size(); ++i) {
        const dialogs::DialogItem& item = d.items[i];
        const ControlClass c = controlClass(item.kind);
        const int index = static_cast<int>(i);
        const bool group =
            index == 0 || index == firstRadio || (lastRadio >= 0 && index == lastRadio + 1);
        out << "  CONTROL " << quoted(item.text) << ", " << item.id << ", " << quoted(c.name)
            << ", " << c.style << (item.tabStop ? " | WS_TABSTOP" : "")
            << (group ? " | WS_GROUP" : "") << ", " << item.x << ", " << item.y << ", "
            << item.width << ", " << item.height << "\n";
    }
    out << "END\n\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tarnix-resource-script ICON OUT.rc\n");
        return 2;
    }
    std::ostringstream out;
    out << "// Written by tarnix-resource-script from the core's tables; do not edit.\n"
        << "#include <windows.h>\n\n"
        << "113 ICON " << quoted(argv[1]) << "\n\n";
    for (const ui::MenuResource* menu : {&ui::kMainMenu, &ui::kPopupMenuResource}) {
        out << menu->resourceId << " MENU\n";
        writeMenu(out, menu->bar, 0);
        out << "\n";
    }
    for (const DialogTemplate* d : win32_app::kDialogTemplates)
        writeDialog(out, *d);
    std::ofstream file(argv[2], std::ios::binary);
    file << out.str();
    return file.good() ? 0 : 1;
}
