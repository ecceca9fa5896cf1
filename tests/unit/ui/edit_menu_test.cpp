// The Edit commands (main menu and popup) each have a letter of their own,
// so that pressing it runs the command instead of only moving to it.
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "ui/menu_table.h"

namespace {

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

}  // namespace
