// Access keys: every item of a menu has a letter of its own, so that pressing
// it runs the command instead of only moving to it (or, where the platform
// takes the first item with the letter, running the wrong one).
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <span>
#include <string>

#include "ui/menu_table.h"

namespace {

// The access key of a label ('\0' for none); fails on a label with two.
char accessKey(const std::string& label) {
    char key = '\0';
    for (size_t i = 0; i + 1 < label.size(); ++i) {
        if (label[i] != '&') continue;
        if (label[i + 1] == '&') {
            ++i;  // a literal ampersand
            continue;
        }
        EXPECT_EQ(key, '\0') << "two access keys in \"" << label << '"';
        key = static_cast<char>(std::tolower(static_cast<unsigned char>(label[i + 1])));
    }
    return key;
}

TEST(EditMenu, EveryMnemonicChoosesOneItem) {
    std::set<char> letters;
    for (const ui::MenuNode& n : ui::kPopupItems) {
        if (n.kind != ui::MenuNodeKind::Item) continue;
        const std::string label = n.label;
        const size_t at = label.find('&');
        ASSERT_LT(at + 1, label.size()) << label;
        EXPECT_TRUE(letters.insert(static_cast<char>(std::tolower(label[at + 1]))).second) << label;
    }
    EXPECT_EQ(letters.size(), 6u);
}

// Sixteen noise-floor items cannot have sixteen keys among the characters of
// their labels; the five past 100 go without.
bool goesWithoutKey(const ui::MenuNode& n) {
    return n.id == ui::ID_NOISE_FLOOR_110 || n.id == ui::ID_NOISE_FLOOR_120 ||
           n.id == ui::ID_NOISE_FLOOR_130 || n.id == ui::ID_NOISE_FLOOR_140 ||
           n.id == ui::ID_NOISE_FLOOR_150;
}

void checkMenu(std::span<const ui::MenuNode> nodes, const std::string& name, int& menus) {
    ++menus;
    std::set<char> keys;
    for (const ui::MenuNode& n : nodes) {
        if (n.kind == ui::MenuNodeKind::Separator) continue;
        SCOPED_TRACE(name + " > " + n.label);
        const char key = accessKey(n.label);
        if (n.kind == ui::MenuNodeKind::Item && goesWithoutKey(n)) {
            EXPECT_EQ(key, '\0');
        } else {
            EXPECT_NE(key, '\0') << "no access key";
            EXPECT_TRUE(keys.insert(key).second) << "'" << key << "' used twice";
        }
        if (n.kind == ui::MenuNodeKind::Submenu) checkMenu(n.children, n.label, menus);
    }
}

TEST(MenuKeys, EveryItemOfEveryMenuHasAKeyOfItsOwn) {
    int menus = 0;
    checkMenu(ui::kMainMenu.bar, "menu bar", menus);
    checkMenu(ui::kPopupItems, "popup", menus);
    EXPECT_EQ(menus, 14);  // the bar, its 12 menus and submenus, the popup
}

}  // namespace
