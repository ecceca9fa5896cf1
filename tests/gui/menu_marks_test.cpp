// The Qt menus' marks against the core's command table: only toggles and
// radio groups are checkable, each radio group is one exclusive group (drawn
// as radio items), and a click leaves the marks to the core.
#include <gtest/gtest.h>

#include <QActionGroup>

#include "qt_rig.h"
#include "ui/command_table.h"
#include "ui/menu_table.h"

using qt_front::TemplateDialog;

namespace {

TEST(QtMenuMarks, OnlyTogglesAndRadioGroupsAreCheckableAndGroupsAreExclusive) {
    QtRig rig;
    ASSERT_TRUE(rig.create([](TemplateDialog& d) { QtRig::click(d, dialogs::kIdOk); }));
    rig.view.loadPopupMenu();

    std::map<ui::RadioGroup, QActionGroup*> groups;
    int checkable = 0;
    ui::forEachMenuItem(ui::kMainMenu.bar, [&](const ui::MenuNode& n) {
        SCOPED_TRACE(n.label);
        QAction* a = rig.view.mainMenu().action(n.id);
        ASSERT_NE(a, nullptr);
        const ui::CommandInfo* info = ui::findCommand(n.id);
        ASSERT_NE(info, nullptr);
        const bool toggle = info->kind == ui::CommandKind::DisplayToggle ||
                            info->kind == ui::CommandKind::EngineToggle;
        const bool radio = info->group != ui::RadioGroup::None;
        EXPECT_EQ(a->isCheckable(), toggle || radio);
        checkable += a->isCheckable();
        if (!radio) {
            EXPECT_EQ(a->actionGroup(), nullptr);
            return;
        }
        ASSERT_NE(a->actionGroup(), nullptr);
        EXPECT_TRUE(a->actionGroup()->isExclusive());
        auto [it, first] = groups.emplace(info->group, a->actionGroup());
        EXPECT_EQ(it->second, a->actionGroup());  // one group per radio group
    });
    // 10 toggles (Speech Enhancement, Noise Blanker and Show Output Spectrum among
    // them); radio groups of 3, 3, 4, 10 and 16 items.
    EXPECT_EQ(checkable, 46);
    EXPECT_EQ(groups.size(), 5u);
    for (const auto& [id, a] : rig.view.popupItems().actions())
        EXPECT_FALSE(a->isCheckable()) << a->text().toStdString();

    // A click marks nothing by itself; the core's command does.
    QAction* zoomIn = rig.view.mainMenu().action(ui::ID_ZOOM_IN);
    QAction* fivek = rig.view.mainMenu().action(ui::ID_HETERODYNE_5000);
    QAction* slow = rig.view.mainMenu().action(ui::ID_HETERODYNE_SLOW);
    QAction* exit = rig.view.mainMenu().action(ui::ID_EXIT);
    slow->trigger();
    EXPECT_FALSE(slow->isChecked());
    EXPECT_TRUE(fivek->isChecked());
    zoomIn->trigger();
    EXPECT_TRUE(rig.runUntil([&] { return zoomIn->isChecked() && slow->isChecked(); }));
    EXPECT_FALSE(fivek->isChecked());
    EXPECT_FALSE(rig.view.mainMenu().action(ui::ID_ZOOM_NORMAL)->isChecked());
    EXPECT_FALSE(exit->isChecked());
}

}  // namespace
