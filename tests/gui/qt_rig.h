// The Qt front end on the simulated platform: scripted wave devices (no
// audio flows unless a test pushes it), a simulated sound card, the Qt host
// and the real window, driven with QTest under the offscreen platform.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "app/qt/desktop_window.h"
#include "app/qt/qt_host.h"
#include "app/qt/template_dialog.h"
#include "engine/audio_engine.h"
#include "mixer/level_controls.h"
#include "mixer/mixer_extend.h"
#include "platform/sim/sim_mixer.h"
#include "platform/sim/sim_wave.h"
#include "ui/main_window.h"

class QtRig {
  public:
    // The simulated card is one of the mixer fixtures.
    explicit QtRig(const std::string& card = "classic.json")
        : mixerDevice(sim::loadSimMixer(std::string(TARNIX_FIXTURES_DIR) + "/mixer/" + card)),
          engine(std::make_unique<CAudioEngine>()),
          filters(std::make_unique<engine::InputFilters>()),
          level(mixer),
          view(host),
          window({*engine, *filters, mixer, &level, mixerDevice.get(), view}) {
        platform::setHost(&host);
        engine->attach(&in, &out, &level, filters.get());
        view.attach(&window);
    }
    ~QtRig() {
        if (!window.destroyed() && window.created()) view.destroyWindow();
        QApplication::processEvents();
        platform::setHost(nullptr);
        // A delivered quit leaves the thread's loops marked to end; the next
        // test's modal loops must run, so the application's own loop runs
        // once and clears the mark.
        if (host.quitReached()) {
            QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
            QApplication::exec();
        }
    }

    // Runs the event loop until done() or the time is up; every modal dialog,
    // box or menu met meanwhile is handed to `modal` (which answers it), or
    // rejected when there is none, so a failing test never hangs.
    bool runUntil(const std::function<bool()>& done, int ms = 5000) {
        QTimer poll;
        poll.setInterval(20);
        QElapsedTimer since;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* w = QApplication::activeModalWidget();
            if (!w) w = QApplication::activePopupWidget();
            if (!w) return;
            if (w->property("answered").toBool()) {
                // Still up a second after its answer: closed, so that a
                // failing test ends instead of waiting inside the dialog.
                if (since.elapsed() > 1000) w->close();
                return;
            }
            w->setProperty("answered", true);
            since.start();
            if (modal) {
                modal(w);
            } else if (auto* d = qobject_cast<QDialog*>(w)) {
                d->close();
            } else {
                w->close();
            }
        });
        poll.start();
        const bool ok = QTest::qWaitFor(done, ms);
        poll.stop();
        return ok;
    }

    // Creates the window; the Welcome dialog is answered by `answer`.
    bool create(const std::function<void(qt_front::TemplateDialog&)>& answer) {
        modal = [&](QWidget* w) {
            if (auto* d = qobject_cast<qt_front::TemplateDialog*>(w)) answer(*d);
            // The start-up's own messages (a card it cannot assign) are read.
            if (auto* box = qobject_cast<QMessageBox*>(w)) box->accept();
        };
        view.start();
        const bool ok = runUntil([&] { return window.created() || window.destroyed(); });
        modal = {};
        if (ok && window.created()) {
            view.resize(800, 500);
            QApplication::processEvents();
        }
        return ok;
    }

    static void click(qt_front::TemplateDialog& d, int id) {
        QWidget* w = d.control(id);
        if (w) QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(6, w->height() / 2));
    }

    std::function<void(QWidget*)> modal;
    std::unique_ptr<sim::SimMixer> mixerDevice;
    sim::ScriptedWaveIn in;
    sim::ScriptedWaveOut out;
    CMixerExtend mixer;
    std::unique_ptr<CAudioEngine> engine;
    std::unique_ptr<engine::InputFilters> filters;
    AutoInputLevel level;
    qt_front::QtHost host;
    qt_front::DesktopWindow view;
    ui::MainWindow window;
};
