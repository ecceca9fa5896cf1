// The assignment dialogs on a card without analog lines (a sound server's
// mixer): a refused choice shows one message, the selection goes back to
// what it was, and the dialog goes on answering.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

#include "dialogs/dialog_model.h"
#include "mixer/dialog_templates.h"
#include "qt_rig.h"
#include "ui/command_table.h"

using qt_front::TemplateDialog;

namespace {

struct Case {
    uint32_t command;
    const char* row;      // the destination the user clicks
    const char* message;  // the one refusal it gets
};

TEST(QtAssignmentDialogs, ARefusedChoiceShowsOneMessageAndTheDialogStaysUsable) {
    for (const Case& c : {Case{ui::ID_RECORDING_ASSIGNMENTS, "Recording Control",
                               "Unable to find appropriate source for destination"},
                          Case{ui::ID_PLAYBACK_ASSIGNMENTS, "Speakers",
                               "Unable to find appropriate source for destination"}}) {
        SCOPED_TRACE(c.row);
        QtRig rig("sound_server.json");
        ASSERT_TRUE(rig.create([](TemplateDialog& d) { QtRig::click(d, dialogs::kIdOk); }));

        // Driven from the rig's poll, since the dialog runs its own loop:
        // click the row, give the list the focus again once the box is gone,
        // wait, look, then press OK.
        enum Phase { Open, Clicked, Refocused, Answered } phase = Open;
        std::vector<std::string> boxes;
        QElapsedTimer sinceBox;
        bool selectionBack = false, modelBack = false, usable = false;
        rig.modal = [&](QWidget* w) {
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                boxes.push_back(box->text().toStdString());
                box->accept();
                return;
            }
            auto* d = qobject_cast<TemplateDialog*>(w);
            if (!d) {
                w->close();
                return;
            }
            d->setProperty("answered", false);  // seen again at every poll
            auto* list = static_cast<QListWidget*>(d->control(mixer_ui::IDC_DESTINATION_LIST));
            if (boxes.size() >= 5) return d->reject();  // endless: fail, don't hang
            if (phase == Open) {
                const QList<QListWidgetItem*> found = list->findItems(c.row, Qt::MatchExactly);
                if (found.size() != 1 || !list->selectedItems().isEmpty()) return d->reject();
                phase = Clicked;
                const QPoint at = list->visualItemRect(found.front()).center();
                QTimer::singleShot(0, list, [list, at] {
                    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
                });
            } else if (phase == Clicked && !boxes.empty()) {
                phase = Refocused;
                list->setFocus(Qt::OtherFocusReason);
                sinceBox.start();
            } else if (phase == Refocused && sinceBox.elapsed() > 600) {
                phase = Answered;
                selectionBack = list->selectedItems().isEmpty();
                modelBack = d->model().listSelection(mixer_ui::IDC_DESTINATION_LIST) == -1;
                usable = d->isVisible() && d->isEnabled();
                auto* ok = static_cast<QPushButton*>(d->control(dialogs::kIdOk));
                QTimer::singleShot(0, ok, [ok] { ok->click(); });
            }
        };
        rig.view.mainMenu().action(c.command)->trigger();
        const bool ended =
            rig.runUntil([&] { return phase == Answered && !QApplication::activeModalWidget(); });
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes.size(), 1u) << boxes.back();
        EXPECT_EQ(boxes.front(), c.message);
        EXPECT_TRUE(selectionBack);
        EXPECT_TRUE(modelBack);
        EXPECT_TRUE(usable);
        EXPECT_TRUE(ended);  // OK still ends it
    }
}

TEST(QtLevelDialog, ControlsWithNothingBehindAreDisabledAndClear) {
    QtRig rig("sound_server.json");
    ASSERT_TRUE(rig.create([](TemplateDialog& d) { QtRig::click(d, dialogs::kIdOk); }));
    rig.view.mainMenu().action(ui::ID_AUDIO_LEVEL_CONTROLS)->trigger();
    ASSERT_TRUE(rig.runUntil([&] { return rig.view.openDialog(rig.window.audioLevelDialog()); }));
    TemplateDialog* level = rig.view.openDialog(rig.window.audioLevelDialog());
    for (int id :
         {mixer_ui::IDC_MASTER_MUTE, mixer_ui::IDC_MASTER_VOLUME, mixer_ui::IDC_UNFILTERED,
          mixer_ui::IDC_FILTERED, mixer_ui::IDC_AUTO_INPUT_LEVEL, mixer_ui::IDC_WAVE_IN_VOLUME}) {
        QWidget* w = level->control(id);
        ASSERT_NE(w, nullptr) << id;
        EXPECT_FALSE(w->isEnabled()) << id;
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            EXPECT_FALSE(b->isChecked()) << id;
        }
    }
    level->grab().save("qt_level_sound_server.png");
}

}  // namespace
