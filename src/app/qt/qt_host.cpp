#include "app/qt/qt_host.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QThread>
#include <QWidget>

namespace qt_front {

namespace {

const QEvent::Type kMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class MessageEvent final : public QEvent {
  public:
    MessageEvent(platform::MessageTarget* t, uint32_t m, uintptr_t w, intptr_t l, bool q, int code)
        : QEvent(kMessageEvent),
          target(t),
          message(m),
          wParam(w),
          lParam(l),
          quit(q),
          exitCode(code) {}
    platform::MessageTarget* target;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    bool quit;
    int exitCode;
};

// The style's icon bits.
constexpr uint32_t kIconMask = 0xF0;
constexpr uint32_t kIconHand = 0x10;
constexpr uint32_t kIconQuestion = 0x20;

}  // namespace

QtHost::QtHost() = default;

void QtHost::postMessage(platform::MessageTarget* target, uint32_t message, uintptr_t wParam,
                         intptr_t lParam) {
    QCoreApplication::postEvent(this, new MessageEvent(target, message, wParam, lParam, false, 0));
}

void QtHost::postLowPriority(platform::MessageTarget* target, uint32_t message, uintptr_t wParam,
                             intptr_t lParam) {
    QCoreApplication::postEvent(this, new MessageEvent(target, message, wParam, lParam, false, 0),
                                Qt::LowEventPriority);
}

void QtHost::postQuitMessage(int exitCode) {
    QCoreApplication::postEvent(this, new MessageEvent(nullptr, 0, 0, 0, true, exitCode));
}

void QtHost::customEvent(QEvent* event) {
    if (event->type() != kMessageEvent) return;
    const auto* m = static_cast<MessageEvent*>(event);
    // After the quit nothing more is delivered, as a loop that has ended
    // takes no more messages.
    if (quit_) return;
    if (m->quit) {
        quit_ = m->exitCode;
        QCoreApplication::exit(m->exitCode);
        return;
    }
    m->target->handleMessage(m->message, m->wParam, m->lParam);
}

void QtHost::setOwnerWidget(platform::MessageTarget* target, QWidget* widget) {
    if (widget)
        owners_[target] = widget;
    else
        owners_.erase(target);
}

int QtHost::messageBox(platform::MessageTarget* owner, const std::string& text,
                       const std::string& caption, uint32_t style) {
    QWidget* parent = nullptr;
    if (auto it = owners_.find(owner); owner && it != owners_.end()) {
        parent = it->second;
        // While a modal dialog of that window runs, the dialog owns the box:
        // the box comes up over it and hands the input back to it, not to
        // the window the dialog keeps blocked.
        if (QWidget* modal = QApplication::activeModalWidget();
            modal && modal != parent && parent->isAncestorOf(modal))
            parent = modal;
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (style & kIconMask) {
        case kIconHand:
            icon = QMessageBox::Critical;
            break;
        case kIconQuestion:
            icon = QMessageBox::Question;
            break;
        case platform::kMbIconExclamation:
            icon = QMessageBox::Warning;
            break;
        case platform::kMbIconInformation:
            icon = QMessageBox::Information;
            break;
        default:
            break;
    }
    if (quit_) return platform::kIdOk;
    QMessageBox box(icon, QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Ok, parent);
    box.exec();
    return platform::kIdOk;
}

void QtHost::yieldTimeSlice() {
    QThread::yieldCurrentThread();
}

}  // namespace qt_front
