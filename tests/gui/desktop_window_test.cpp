// The Qt front end, offscreen, on the simulated platform: menus from the
// table, the mouse and the popup, the dialogs built from their templates,
// and the picture.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>

#include "app/qt/spectrum_area.h"
#include "mixer/listing.h"
#include "qt_rig.h"
#include "ui/command_table.h"
#include "ui/dialog_templates.h"
#include "ui/menu_table.h"
#include "ui/window_messages.h"

using qt_front::TemplateDialog;

namespace {

const auto kAgree = [](TemplateDialog& d) { QtRig::click(d, dialogs::kIdOk); };

// The menu bar's and the popup's actions against the table, in order.
void expectMenu(QMenu* menu, std::span<const ui::MenuNode> nodes, const std::string& path) {
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(nodes.size())) << path;
    for (size_t i = 0; i < nodes.size(); ++i) {
        const ui::MenuNode& n = nodes[i];
        QAction* a = actions[static_cast<qsizetype>(i)];
        const std::string where = path + " / " + n.label;
        switch (n.kind) {
            case ui::MenuNodeKind::Separator:
                EXPECT_TRUE(a->isSeparator()) << where;
                break;
            case ui::MenuNodeKind::Submenu:
                ASSERT_NE(a->menu(), nullptr) << where;
                EXPECT_EQ(a->text().toStdString(), n.label);
                expectMenu(a->menu(), n.children, where);
                break;
            case ui::MenuNodeKind::Item:
                EXPECT_EQ(a->text().toStdString(), n.label) << where;
                EXPECT_EQ(a->isChecked(), n.checked) << where;
                EXPECT_EQ(a->isEnabled(), !n.grayed) << where;
                break;
        }
    }
}

TEST(QtMenus, BuiltFromTheTableWithTheirInitialStatesAndCommandsPosted) {
    QtRig rig;
    ASSERT_TRUE(rig.create(kAgree));
    const QList<QAction*> bar = rig.view.menuBar()->actions();
    ASSERT_EQ(bar.size(), static_cast<qsizetype>(ui::kMainMenu.bar.size()));
    for (size_t i = 0; i < ui::kMainMenu.bar.size(); ++i) {
        EXPECT_EQ(bar[static_cast<qsizetype>(i)]->text().toStdString(), ui::kMainMenu.bar[i].label);
        expectMenu(bar[static_cast<qsizetype>(i)]->menu(), ui::kMainMenu.bar[i].children,
                   ui::kMainMenu.bar[i].label);
    }
    expectMenu(rig.view.popupMenu(), ui::kPopupItems, "popup");

    // Choosing an item reaches the controller; the marks are the core's.
    QAction* in = rig.view.mainMenu().action(ui::ID_ZOOM_IN);
    in->trigger();
    EXPECT_FALSE(in->isChecked());  // not before the command is delivered
    QApplication::processEvents();
    EXPECT_TRUE(in->isChecked());
    EXPECT_DOUBLE_EQ(rig.window.state().dAmplitudePerPixel, 30.0);
    QAction* eq = rig.view.mainMenu().action(ui::ID_EQUALIZER);
    eq->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(eq->isChecked());
    EXPECT_EQ(rig.engine->equalizerOn, 0u);
}

TEST(QtSpectrum, DragSelectsStopBandStopsTheBinsAndTheRightClickOpensThePopupThere) {
    QtRig rig;
    ASSERT_TRUE(rig.create(kAgree));
    qt_front::SpectrumArea* area = rig.view.spectrumArea();
    // 11025 Hz: 1.5 pixels a bin; columns 150..300 are bins 100..200.
    QTest::mousePress(area, Qt::LeftButton, {}, QPoint(150, 100));
    QTest::mouseMove(area, QPoint(220, 120));
    QTest::mouseMove(area, QPoint(300, 120));
    QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(300, 120));
    EXPECT_EQ(rig.window.state().nSelStart, 150);
    EXPECT_EQ(rig.window.state().nSelEnd, 300);
    for (const auto* items : {&rig.view.mainMenu(), &rig.view.popupItems()}) {
        EXPECT_TRUE(items->action(ui::ID_STOP_BAND)->isEnabled());
        EXPECT_FALSE(items->action(ui::ID_RESELECT)->isEnabled());
    }

    // The right click opens the popup at the pointer; Stop Band is chosen there.
    QPoint shownAt;
    rig.modal = [&](QWidget* w) {
        shownAt = w->pos();
        static_cast<QMenu*>(w)->actions().at(4)->trigger();  // "&Stop Band"
        w->close();
    };
    // The press opens the menu, which runs its own loop: it is pressed from
    // inside the loop that answers it.
    QTimer::singleShot(0, [&] { QTest::mousePress(area, Qt::RightButton, {}, QPoint(400, 200)); });
    ASSERT_TRUE(rig.runUntil([&] { return rig.engine->bandMask[150] == 1; }));
    EXPECT_EQ(shownAt, area->mapToGlobal(QPoint(400, 200)));
    EXPECT_EQ(rig.engine->bandMask[99], 0u);
    EXPECT_EQ(rig.engine->bandMask[100], 1u);
    EXPECT_EQ(rig.engine->bandMask[199], 1u);
    EXPECT_EQ(rig.engine->bandMask[200], 0u);
    EXPECT_EQ(rig.window.state().nSelStart, -1);
    EXPECT_TRUE(rig.view.popupItems().action(ui::ID_RESELECT)->isEnabled());

    // The picture: the background, the stopped band, a grid line at the first
    // bin of 1 kHz (bin 93, column 139).
    rig.view.invalidate(true);
    const QImage image = area->grab().toImage();
    EXPECT_EQ(image.pixelColor(600, 300), QColor(0, 64, 0));
    EXPECT_EQ(image.pixelColor(200, 300), QColor(127, 0, 0));
    EXPECT_EQ(image.pixelColor(150, 300), QColor(0, 0, 0));  // the band's outline
    EXPECT_EQ(image.pixelColor(139, 300), QColor(0, 255, 0));
    EXPECT_EQ(image.pixelColor(138, 300), QColor(0, 64, 0));
    image.save("qt_spectrum.png");
}

TEST(QtSpectrum, ResizingAndMinimisingReachTheController) {
    QtRig rig;
    ASSERT_TRUE(rig.create(kAgree));
    rig.view.resize(640, 400);
    QApplication::processEvents();
    EXPECT_EQ(rig.window.state().nClientWidth, rig.view.spectrumArea()->width());
    EXPECT_EQ(rig.window.state().nClientHeight, rig.view.spectrumArea()->height());
    EXPECT_EQ(rig.window.state().nClientWidth, 640);

    rig.view.showMinimized();
    QApplication::processEvents();
    if (!rig.view.isMinimized()) GTEST_SKIP() << "this platform does not minimise windows";
    EXPECT_TRUE(rig.view.isMinimised());
    EXPECT_EQ(rig.window.state().nClientWidth, 0);
    rig.view.showNormal();
    QApplication::processEvents();
    EXPECT_EQ(rig.window.state().nClientWidth, 640);
}

TEST(QtWelcome, FortyFourKilohertzStereoGivesTitleAndScaleAndDisagreeQuitsWithZero) {
    {
        QtRig rig;
        ASSERT_TRUE(rig.create([](TemplateDialog& d) {
            EXPECT_EQ(d.windowTitle(), "Welcome");
            auto* list = static_cast<QListWidget*>(d.control(ui::kIdNoticeList));
            EXPECT_EQ(list->count(), static_cast<int>(std::size(ui::kNoticeLines)));
            EXPECT_TRUE(static_cast<QRadioButton*>(d.control(ui::kIdRate11025))->isChecked());
            QtRig::click(d, ui::kIdRate44100);
            QtRig::click(d, ui::kIdSimulatedStereo);
            EXPECT_TRUE(static_cast<QRadioButton*>(d.control(ui::kIdRate44100))->isChecked());
            EXPECT_FALSE(static_cast<QRadioButton*>(d.control(ui::kIdRate11025))->isChecked());
            EXPECT_TRUE(static_cast<QCheckBox*>(d.control(ui::kIdSimulatedStereo))->isChecked());
            d.grab().save("qt_welcome.png");
            QTest::keyClick(&d, Qt::Key_Return);
        }));
        EXPECT_EQ(rig.view.windowTitle(), "Tarnix Digital Filter Program  - Simulated Stereo");
        EXPECT_EQ(rig.window.state().nScaleNum, 30);
        EXPECT_EQ(rig.engine->sampleRate, 44100u);
        EXPECT_TRUE(rig.view.isVisible());
    }
    QtRig rig;
    ASSERT_TRUE(rig.create([](TemplateDialog& d) { QtRig::click(d, dialogs::kIdCancel); }));
    EXPECT_TRUE(rig.window.destroyed());
    EXPECT_FALSE(rig.view.isVisible());
    ASSERT_TRUE(rig.runUntil([&] { return rig.host.quitReached(); }));
    EXPECT_EQ(rig.host.exitCode(), 0);
}

TEST(QtWelcome, TheKeyboardAloneChoosesRateAndStereo) {
    QtRig rig;
    ASSERT_TRUE(rig.create([](TemplateDialog& d) {
        // From the list: Tab to Agree, Disagree and the checked rate; the
        // arrows choose 44 kHz; Tab to the check box; Space; Enter agrees.
        for (int key : {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Right, Qt::Key_Right,
                        Qt::Key_Tab, Qt::Key_Space, Qt::Key_Return}) {
            // Keys go where the dialog's focus is, active window or not.
            QWidget* focus = d.focusWidget();
            QTest::keyClick(focus ? focus : &d, static_cast<Qt::Key>(key));
        }
    }));
    EXPECT_EQ(rig.window.state().nSampleRate, 44100u);
    EXPECT_EQ(rig.window.state().bSimulatedStereo, 1u);
}

TEST(QtHelp, QuickHelpTwiceLeavesOneDialogAndAboutShowsTheVersion) {
    QtRig rig;
    ASSERT_TRUE(rig.create(kAgree));
    rig.view.mainMenu().action(ui::ID_QUICK_HELP)->trigger();
    rig.view.mainMenu().action(ui::ID_QUICK_HELP)->trigger();
    QApplication::processEvents();
    const auto dialogs = [&] {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<TemplateDialog*>(w))
                n += d->isVisible() && d->windowTitle() == "Quick Help";
        return n;
    };
    EXPECT_EQ(dialogs(), 1);
    rig.view.openDialog(rig.window.quickHelp())->grab().save("qt_quick_help.png");
    // Escape closes it; choosing it again opens a new one.
    QTest::keyClick(rig.view.openDialog(rig.window.quickHelp()), Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(dialogs(), 0);
    rig.view.mainMenu().action(ui::ID_QUICK_HELP)->trigger();
    QApplication::processEvents();
    EXPECT_EQ(dialogs(), 1);

    QString version;
    rig.modal = [&](QWidget* w) {
        auto* d = qobject_cast<TemplateDialog*>(w);
        if (!d) return;
        version = static_cast<QLabel*>(d->control(ui::kIdVersionText))->text();
        d->grab().save("qt_about.png");
        QTest::keyClick(d, Qt::Key_Escape);
    };
    rig.view.mainMenu().action(ui::ID_ABOUT)->trigger();
    EXPECT_TRUE(
        rig.runUntil([&] { return !version.isEmpty() && !QApplication::activeModalWidget(); }));
    EXPECT_EQ(version, "Version 1.3.3.6");

    // The quit message ends a modal dialog that is open when it arrives.
    bool posted = false;
    rig.modal = [&](QWidget*) {
        rig.host.postQuitMessage(3);
        posted = true;
    };
    rig.view.mainMenu().action(ui::ID_ABOUT)->trigger();
    // Well before the rig would close it itself.
    EXPECT_TRUE(rig.runUntil([&] { return posted && !QApplication::activeModalWidget(); }, 800));
    EXPECT_EQ(rig.host.exitCode(), 3);
}

TEST(QtMixerDialogs, LevelControlsMoveTheCardsControlsAndDumpWritesTheListing) {
    QtRig rig;
    ASSERT_TRUE(rig.create(kAgree));
    rig.view.mainMenu().action(ui::ID_AUDIO_LEVEL_CONTROLS)->trigger();
    QApplication::processEvents();
    TemplateDialog* level = rig.view.openDialog(rig.window.audioLevelDialog());
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(level->windowTitle(), "Audio Level Controls");

    auto* bar = static_cast<QScrollBar*>(level->control(mixer_ui::IDC_MASTER_VOLUME));
    const uint32_t before = rig.mixerDevice->control(rig.mixer.dwMasterVolumeCtrl)->values[0];
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QApplication::processEvents();
    const uint32_t after = rig.mixerDevice->control(rig.mixer.dwMasterVolumeCtrl)->values[0];
    EXPECT_GT(after, before);
    EXPECT_EQ(bar->value(),
              rig.window.audioLevelDialog().scrollPosition(mixer_ui::IDC_MASTER_VOLUME));

    auto* mute = static_cast<QCheckBox*>(level->control(mixer_ui::IDC_MASTER_MUTE));
    const uint32_t muted = rig.mixerDevice->control(rig.mixer.dwMasterMuteCtrl)->values[0];
    QTest::mouseClick(mute, Qt::LeftButton, {}, QPoint(6, mute->height() / 2));
    QApplication::processEvents();
    EXPECT_NE(rig.mixerDevice->control(rig.mixer.dwMasterMuteCtrl)->values[0], muted);
    EXPECT_EQ(mute->isChecked(), rig.window.audioLevelDialog().checked(mixer_ui::IDC_MASTER_MUTE));
    level->grab().save("qt_level.png");

    // The assignment dialogs list the card's lines with the assigned ones
    // selected, as the model has them.
    for (uint32_t command : {ui::ID_RECORDING_ASSIGNMENTS, ui::ID_PLAYBACK_ASSIGNMENTS}) {
        int lists = 0;
        rig.modal = [&](QWidget* w) {
            auto* d = qobject_cast<TemplateDialog*>(w);
            if (!d) {
                w->close();
                return;
            }
            for (int id : {mixer_ui::IDC_DESTINATION_LIST, mixer_ui::IDC_SOURCE_LIST}) {
                auto* list = static_cast<QListWidget*>(d->control(id));
                const std::vector<std::string> items = d->model().listItems(id);
                ASSERT_EQ(list->count(), static_cast<int>(items.size()));
                EXPECT_FALSE(items.empty());
                for (size_t i = 0; i < items.size(); ++i)
                    EXPECT_EQ(list->item(static_cast<int>(i))->text().toStdString(), items[i]);
                EXPECT_EQ(list->currentRow(), d->model().listSelection(id));
                ++lists;
            }
            d->grab().save(QString("qt_assignment_%1.png").arg(command));
            static_cast<QPushButton*>(d->control(dialogs::kIdOk))->click();
        };
        rig.view.mainMenu().action(command)->trigger();
        EXPECT_TRUE(rig.runUntil([&] { return lists == 2 && !QApplication::activeModalWidget(); }));
    }

    // "Create File" writes the listing into the current directory.
    QTemporaryDir dir;
    const QString home = QDir::currentPath();
    QDir::setCurrent(dir.path());
    bool shown = false;
    rig.modal = [&](QWidget* w) {
        if (auto* d = qobject_cast<TemplateDialog*>(w)) {
            shown = d->windowTitle() == "Dump Mixer Settings to Disk File";
            d->grab().save(home + "/qt_dump.png");
            static_cast<QPushButton*>(d->control(dialogs::kIdOk))->click();
        } else if (auto* box = qobject_cast<QMessageBox*>(w)) {
            box->accept();
        }
    };
    rig.view.mainMenu().action(ui::ID_DUMP_MIXER_SETTINGS)->trigger();
    const bool written = rig.runUntil([&] {
        return shown && !QApplication::activeModalWidget() &&
               QFile::exists(dir.filePath(kMixerListFileName));
    });
    QDir::setCurrent(home);
    ASSERT_TRUE(written);
    QFile listing(dir.filePath(kMixerListFileName));
    ASSERT_TRUE(listing.open(QIODevice::ReadOnly));
    EXPECT_TRUE(listing.readAll().contains("Version 1.3.3.6"));
}

}  // namespace
