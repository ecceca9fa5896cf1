#include "app/qt/desktop_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QWindowStateChangeEvent>

#include "app/qt/painter_canvas.h"
#include "app/qt/qt_host.h"
#include "app/qt/spectrum_area.h"
#include "app/qt/template_dialog.h"
#include "ui/dialog_placement.h"
#include "ui/dialog_templates.h"
#include "ui/main_window.h"
#include "ui/menu_table.h"
#include "ui/window_messages.h"

namespace qt_front {

namespace {
// Private messages of the window to itself, outside the platform's range.
constexpr uint32_t kCreateNow = 0x8001;
constexpr uint32_t kTimerTick = 0x8002;
}  // namespace

// Receives the window's own posted messages: the creation and the ticks.
class DesktopWindow::Relay final : public platform::MessageTarget {
  public:
    explicit Relay(DesktopWindow& w) : w_(w) {}
    intptr_t handleMessage(uint32_t message, uintptr_t wParam, intptr_t) override {
        if (message == kCreateNow) w_.created();
        if (message == kTimerTick) w_.timerDelivered(static_cast<uint32_t>(wParam));
        return 0;
    }

  private:
    DesktopWindow& w_;
};

DesktopWindow::DesktopWindow(QtHost& host) : host_(host), relay_(std::make_unique<Relay>(*this)) {
    setObjectName(QString::fromUtf8(ui::kMainWindowClass));
    setWindowTitle(QString::fromUtf8(ui::kMainWindowClass));
    area_ = new SpectrumArea(this, [this](uint32_t m, uintptr_t w, intptr_t l) {
        if (controller_ && started_ && !destroyed_) controller_->handleMessage(m, w, l);
    });
    area_->setResized([this] { sendSize(); });
    setCentralWidget(area_);
    // Menu 101 is the window's menu from its creation on.
    main_.buildBar(menuBar(), ui::kMainMenu.bar, [this](uint32_t id) { post(ui::kWmCommand, id); });
    // The platform's default size: most of the screen.
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        const QRect r = s->availableGeometry();
        resize(r.width() * 3 / 4, r.height() * 3 / 4);
    }
}

DesktopWindow::~DesktopWindow() {
    host_.setOwnerWidget(controller_, nullptr);
}

void DesktopWindow::attach(ui::MainWindow* controller) {
    controller_ = controller;
    host_.setOwnerWidget(controller, this);
}

void DesktopWindow::post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (controller_ && !destroyed_) host_.postMessage(controller_, message, wParam, lParam);
}

void DesktopWindow::start() {
    host_.postMessage(relay_.get(), kCreateNow, 0, 0);
}

void DesktopWindow::created() {
    if (!controller_ || started_) return;
    started_ = true;
    controller_->handleMessage(ui::kWmCreate, 0, 0);
    if (destroyed_) return;
    area_->setPainter([c = controller_](ui::Canvas& canvas) { c->paint(canvas); });
    show();
    sendSize();
}

void DesktopWindow::sendSize() {
    if (!controller_ || !started_ || destroyed_) return;
    controller_->handleMessage(ui::kWmSize, isMaximized() ? ui::kSizeMaximized : ui::kSizeRestored,
                               ui::sizeParam(area_->width(), area_->height()));
}

void DesktopWindow::setTitle(const std::string& title) {
    setWindowTitle(QString::fromStdString(title));
}

void DesktopWindow::loadPopupMenu() {
    if (popupMenu_) return;
    popupMenu_ = new QMenu(this);
    // The popup carries no check marks.
    popup_.build(
        popupMenu_, ui::kPopupItems, [this](uint32_t id) { post(ui::kWmCommand, id); }, false);
}

void DesktopWindow::setMenuItemChecked(ui::Menu menu, uint32_t command, bool checked) {
    (menu == ui::Menu::Main ? main_ : popup_).setChecked(command, checked);
}

void DesktopWindow::setMenuItemEnabled(ui::Menu menu, uint32_t command, bool enabled) {
    (menu == ui::Menu::Main ? main_ : popup_).setEnabled(command, enabled);
}

void DesktopWindow::showPopupMenu(int x, int y) {
    if (!popupMenu_ || destroyed_ || host_.quitReached()) return;
    // Left-aligned at the pointer; the choice arrives as a posted command.
    popupMenu_->exec(area_->mapToGlobal(QPoint(x, y)));
}

uint32_t DesktopWindow::setTimer(uint32_t id, uint32_t periodMs) {
    Timer& t = timers_[id];
    if (!t.timer) {
        t.timer = new QTimer(this);
        connect(t.timer, &QTimer::timeout, this, [this, id] { timerFired(id); });
    }
    t.timer->start(static_cast<int>(periodMs));
    return id;
}

void DesktopWindow::killTimer(uint32_t id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second.timer->stop();
    it->second.timer->deleteLater();
    timers_.erase(it);
}

void DesktopWindow::timerFired(uint32_t id) {
    // One tick waits at a time, behind everything else queued.
    auto it = timers_.find(id);
    if (it == timers_.end() || it->second.pending) return;
    it->second.pending = true;
    host_.postLowPriority(relay_.get(), kTimerTick, id, 0);
}

void DesktopWindow::timerDelivered(uint32_t id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;  // killed meanwhile
    it->second.pending = false;
    if (controller_ && !destroyed_) controller_->handleMessage(ui::kWmTimer, id, 0);
}

void DesktopWindow::invalidate(bool) {
    // Every paint erases first: Qt repaints a widget whole.
    area_->update();
}

bool DesktopWindow::isMinimised() const {
    return isMinimized();
}

ui::FontMetrics DesktopWindow::fontMetrics() {
    return labelMetrics(area_->labelFont());
}

intptr_t DesktopWindow::runModalDialog(dialogs::DialogModel& model) {
    if (destroyed_ || host_.quitReached()) return -1;
    TemplateDialog dialog(model, this);
    dialog.setModal(true);
    model.initDialog();
    dialog.refresh();
    modal_.push_back(&dialog);
    if (!model.ended()) dialog.exec();
    std::erase(modal_, &dialog);
    if (destroyed_ || host_.quitReached()) return -1;
    return model.result();
}

void DesktopWindow::openModelessDialog(dialogs::DialogModel& model) {
    if (destroyed_ || modeless_.count(&model)) return;
    auto* dialog = new TemplateDialog(model, this);
    dialog->setModal(false);
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    model.initDialog();
    if (model.ended()) {
        delete dialog;
        return;
    }
    dialog->refresh();
    modeless_[&model] = dialog;
    connect(dialog, &TemplateDialog::closedByModel, this, [this, m = &model, dialog] {
        modeless_.erase(m);
        dialog->deleteLater();
    });
    placeBeside(dialog);
    dialog->show();
}

void DesktopWindow::placeBeside(QWidget* dialog) const {
    const QScreen* s = isVisible() ? screen() : QGuiApplication::primaryScreen();
    if (!s) return;
    // Not shown yet, the dialog has no frame: it will get one like the
    // main window's.
    const QRect outer = frameGeometry(), inner = geometry();
    const int frameWidth = outer.width() - inner.width();
    const int frameHeight = outer.height() - inner.height();
    const QRect work = s->availableGeometry();
    const ui::ScreenPoint at = ui::placeDialog(
        ui::DialogPlace::Beside, {outer.x(), outer.y(), outer.width(), outer.height()},
        dialog->width() + frameWidth, dialog->height() + frameHeight,
        {work.x(), work.y(), work.width(), work.height()});
    dialog->move(at.x, at.y);
}

TemplateDialog* DesktopWindow::openDialog(const dialogs::DialogModel& model) const {
    auto it = modeless_.find(&model);
    return it == modeless_.end() ? nullptr : it->second;
}

void DesktopWindow::raiseDialog(dialogs::DialogModel& model) {
    if (TemplateDialog* d = openDialog(model)) {
        d->show();
        d->raise();
        d->activateWindow();
    }
}

void DesktopWindow::refreshDialog(dialogs::DialogModel& model) {
    if (TemplateDialog* d = openDialog(model)) d->refresh();
}

int DesktopWindow::messageBox(const std::string& text, const std::string& caption, uint32_t style) {
    return platform::host().messageBox(controller_, text, caption, style);
}

void DesktopWindow::destroyWindow() {
    if (destroyed_) return;
    destroyed_ = true;
    for (auto& [model, dialog] : modeless_) {
        dialog->hide();
        dialog->deleteLater();
    }
    modeless_.clear();
    for (TemplateDialog* d : modal_)
        d->done(-1);
    for (auto& [id, t] : timers_) {
        t.timer->stop();
        t.timer->deleteLater();
    }
    timers_.clear();
    area_->setPainter({});
    hide();
    if (controller_) controller_->handleMessage(ui::kWmDestroy, 0, 0);
}

void DesktopWindow::closeEvent(QCloseEvent* event) {
    // The close box destroys the window, which ends the program.
    event->ignore();
    if (!destroyed_ && started_) destroyWindow();
}

void DesktopWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !started_ || destroyed_) return;
    if (isMinimized())
        // The platform reports a minimised window with no client area.
        controller_->handleMessage(ui::kWmSize, ui::kSizeMinimized, ui::sizeParam(0, 0));
    else
        sendSize();
}

}  // namespace qt_front
