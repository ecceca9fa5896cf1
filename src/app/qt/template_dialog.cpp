#include "app/qt/template_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOptionComplex>
#include <algorithm>

#include "platform/host.h"

namespace qt_front {

using dialogs::ItemKind;

QFont dialogFont() {
    // The templates' 8-point sans serif: the nearest metric-compatible faces
    // first, then whatever sans serif the desktop has.
    QFont font;
    font.setFamilies({"Liberation Sans", "Arimo", "Arial", "DejaVu Sans", "Sans Serif"});
    font.setPointSize(dialogs::kFontSize);
    return font;
}

DialogUnits dialogUnits(const QFont& font) {
    const QFontMetrics m(font);
    const int letters =
        m.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {std::max(1, (letters / 26 + 1) / 2), std::max(1, m.height())};
}

namespace {

// Scroll bars whose thumb stands out from its track as a raised button face
// does: the desktop style's thumb is hardly darker than the track.
class RaisedThumbStyle final : public QProxyStyle {
  public:
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget) const override {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        if (control != CC_ScrollBar || !(option->state & State_Enabled)) return;
        const QRect thumb = subControlRect(control, option, SC_ScrollBarSlider, widget);
        if (thumb.width() < 3 || thumb.height() < 3) return;
        const QPalette& p = option->palette;
        painter->save();
        painter->fillRect(thumb, p.color(QPalette::Button).darker(120));
        painter->setPen(p.color(QPalette::Light));
        painter->drawLine(thumb.topLeft(), thumb.topRight());
        painter->drawLine(thumb.topLeft(), thumb.bottomLeft());
        painter->setPen(p.color(QPalette::Shadow));
        painter->drawLine(thumb.bottomLeft(), thumb.bottomRight());
        painter->drawLine(thumb.topRight(), thumb.bottomRight());
        painter->restore();
    }
};

void raisedThumb(QScrollBar* bar) {
    static RaisedThumbStyle* style = [] {
        auto* s = new RaisedThumbStyle;
        s->setParent(qApp);
        return s;
    }();
    bar->setStyle(style);
}

int selectedRow(const QListWidget* list) {
    const QList<QListWidgetItem*> items = list->selectedItems();
    return items.isEmpty() ? -1 : list->row(items.front());
}

// A group box as the platform draws one: an etched frame whose top edge runs
// through the middle of its caption.
class GroupFrame final : public QWidget {
  public:
    GroupFrame(const QString& title, QWidget* parent) : QWidget(parent), title_(title) {
        setFocusPolicy(Qt::NoFocus);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QFontMetrics m(font());
        const int top = m.height() / 2;
        const QRect frame = rect().adjusted(0, top, -1, -1);
        p.setPen(palette().color(QPalette::Dark));
        p.drawRect(frame.adjusted(0, 0, -1, -1));
        p.setPen(palette().color(QPalette::Light));
        p.drawRect(frame.adjusted(1, 1, 0, 0));
        const int x = m.averageCharWidth();
        const QRect caption(x, 0, m.horizontalAdvance(title_) + 2, m.height());
        p.fillRect(caption, palette().color(QPalette::Window));
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(caption, Qt::AlignCenter, title_);
    }

  private:
    QString title_;
};

}  // namespace

TemplateDialog::TemplateDialog(dialogs::DialogModel& model, QWidget* owner)
    : QDialog(owner), model_(model) {
    build();
}

QWidget* TemplateDialog::control(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

void TemplateDialog::build() {
    const dialogs::DialogTemplate& t = model_.dialogTemplate();
    setWindowTitle(QString::fromUtf8(t.caption));
    setFont(dialogFont());
    // Caption and close box only: the templates have no resizing frame and no
    // help button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    const DialogUnits du = dialogUnits(font());
    // The window manager writes the caption in the desktop's font, bold as a
    // rule, which is wider than the templates' font: a dialog narrower than
    // its caption, with room for the icon and three buttons (some window
    // managers keep their own), is widened and its controls kept in the
    // middle, so that the caption is not cut.
    QFont captionFont = QApplication::font();
    captionFont.setBold(true);
    const QFontMetrics caption(captionFont);
    const int captionWidth = caption.horizontalAdvance(windowTitle()) + 8 * caption.height();
    const int shift = std::max(0, (captionWidth - du.x(t.width)) / 2);
    setFixedSize(du.x(t.width) + 2 * shift, du.y(t.height));

    for (const dialogs::DialogItem& item : t.items) {
        QWidget* w = makeControl(item);
        placeControl(item, w, du, shift);
        if (item.id != -1) controls_[item.id] = w;
    }
    setGroupTabStop();
    // The first control that takes the keyboard has the focus, as on the platform.
    for (const dialogs::DialogItem& item : t.items)
        if (item.tabStop)
            if (QWidget* w = control(item.id)) {
                w->setFocus();
                break;
            }
    if (t.centred) centre();
}

// A check box, radio button or push button, its clicks going to the model.
QAbstractButton* TemplateDialog::makeButton(const dialogs::DialogItem& item, const QString& text) {
    QAbstractButton* b = nullptr;
    if (item.kind == ItemKind::AutoRadioButton) {
        auto* r = new QRadioButton(text, this);
        // The group is kept by hand: the model may leave none on.
        r->setAutoExclusive(false);
        r->installEventFilter(this);
        groupTabStop_ = groupTabStop_ || item.tabStop;
        b = r;
    } else if (item.kind == ItemKind::AutoCheckBox || item.kind == ItemKind::CheckBox) {
        b = new QCheckBox(text, this);
    } else {
        auto* p = new QPushButton(text, this);
        p->setAutoDefault(false);
        p->setDefault(item.kind == ItemKind::DefaultPushButton);
        b = p;
    }
    connect(b, &QAbstractButton::clicked, this, [this, &item, b] { buttonClicked(item, b); });
    return b;
}

// The control for one item of the template, wired to the model.
QWidget* TemplateDialog::makeControl(const dialogs::DialogItem& item) {
    const QString text = QString::fromUtf8(item.text);
    switch (item.kind) {
        case ItemKind::AutoCheckBox:
        case ItemKind::CheckBox:
        case ItemKind::AutoRadioButton:
        case ItemKind::PushButton:
        case ItemKind::DefaultPushButton:
            return makeButton(item, text);
        case ItemKind::HorizontalScrollBar: {
            auto* bar = new QScrollBar(Qt::Horizontal, this);
            raisedThumb(bar);
            connect(bar, &QAbstractSlider::actionTriggered, this,
                    [this, id = item.id, bar](int action) { scrollAction(id, bar, action); });
            connect(bar, &QAbstractSlider::sliderReleased, this, [this, id = item.id, bar] {
                const auto pos = static_cast<uint16_t>(bar->sliderPosition());
                input([&] {
                    model_.horizontalScroll(id, dialogs::kSbThumbPosition, pos);
                    model_.horizontalScroll(id, dialogs::kSbEndScroll, 0);
                });
            });
            return bar;
        }
        case ItemKind::StaticText:
        case ItemKind::CentredText: {
            auto* label = new QLabel(text, this);
            label->setWordWrap(true);
            label->setAlignment(
                (item.kind == ItemKind::CentredText ? Qt::AlignHCenter : Qt::AlignLeft) |
                Qt::AlignTop);
            label->setTextFormat(Qt::PlainText);
            return label;
        }
        case ItemKind::ListBox: {
            auto* list = new QListWidget(this);
            list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
            list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            list->setSelectionMode(QAbstractItemView::SingleSelection);
            raisedThumb(list->verticalScrollBar());
            // Only a selection the user makes is a choice: the row the
            // list makes current by itself when it gets the focus selects
            // nothing. The choice reaches the model once the list has
            // finished with the click or key, so that a message box it
            // brings up, and the selection the model then restores, are
            // not undone by the rest of the list's own handling.
            connect(list, &QListWidget::itemSelectionChanged, this, [this, id = item.id, list] {
                if (refreshing_ || finished_) return;
                const int row = selectedRow(list);
                QMetaObject::invokeMethod(
                    this, [this, id, row] { input([&] { model_.listSelectionChanged(id, row); }); },
                    Qt::QueuedConnection);
            });
            return list;
        }
        case ItemKind::GroupBox:
            return new GroupFrame(text, this);
    }
    return nullptr;
}

// Lays a control out in the template's dialog units, `shift` to the right.
void TemplateDialog::placeControl(const dialogs::DialogItem& item, QWidget* w,
                                  const DialogUnits& du, int shift) {
    QRect box(shift + du.x(item.x), du.y(item.y), du.x(item.width), du.y(item.height));
    // A label a little wider than its box in this font runs on to the
    // right instead of being cut (nothing in the templates stands there).
    if (item.kind == ItemKind::AutoCheckBox || item.kind == ItemKind::CheckBox ||
        item.kind == ItemKind::AutoRadioButton)
        box.setWidth(std::max(box.width(), w->sizeHint().width()));
    w->setGeometry(box);
    const bool takesInput = item.kind != ItemKind::StaticText &&
                            item.kind != ItemKind::CentredText && item.kind != ItemKind::GroupBox;
    // Tab follows the template's order, which is the order of creation.
    if (takesInput) w->setFocusPolicy(item.tabStop ? Qt::StrongFocus : Qt::ClickFocus);
}

// A centred template stands in the middle of its owner's screen.
void TemplateDialog::centre() {
    const QScreen* screen = parentWidget() && parentWidget()->isVisible()
                                ? parentWidget()->screen()
                                : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect r = screen->availableGeometry();
        move(r.center() - QPoint(width() / 2, height() / 2));
    }
}

void TemplateDialog::refresh() {
    if (finished_) return;
    refreshing_ = true;
    for (const dialogs::DialogItem& item : model_.dialogTemplate().items) {
        QWidget* w = control(item.id);
        if (!w) continue;
        switch (item.kind) {
            case ItemKind::AutoCheckBox:
            case ItemKind::CheckBox:
            case ItemKind::AutoRadioButton:
                static_cast<QAbstractButton*>(w)->setChecked(model_.checked(item.id));
                break;
            case ItemKind::HorizontalScrollBar: {
                auto* bar = static_cast<QScrollBar*>(w);
                const dialogs::ScrollRange range = model_.scrollRange(item.id);
                const QSignalBlocker block(bar);
                bar->setRange(range.minimum, range.maximum);
                bar->setPageStep(std::max(1, (range.maximum - range.minimum) / 10));
                // A thumb being dragged stays under the pointer until it is let go.
                if (!bar->isSliderDown()) bar->setSliderPosition(model_.scrollPosition(item.id));
                break;
            }
            case ItemKind::ListBox: {
                auto* list = static_cast<QListWidget*>(w);
                QStringList items;
                for (const std::string& s : model_.listItems(item.id))
                    items << QString::fromStdString(s);
                QStringList shown;
                for (int i = 0; i < list->count(); ++i)
                    shown << list->item(i)->text();
                if (items != shown) {
                    list->clear();
                    list->addItems(items);
                }
                const int selection = model_.listSelection(item.id);
                if (selection < 0 || selection >= list->count())
                    list->selectionModel()->clear();
                else if (selectedRow(list) != selection || list->currentRow() != selection)
                    list->setCurrentRow(selection, QItemSelectionModel::ClearAndSelect);
                break;
            }
            default:
                break;
        }
        const bool takesInput = item.kind != ItemKind::StaticText &&
                                item.kind != ItemKind::CentredText &&
                                item.kind != ItemKind::GroupBox;
        if (takesInput) w->setEnabled(model_.enabled(item.id));
        if (auto text = model_.text(item.id)) {
            const QString s = QString::fromStdString(*text);
            if (auto* label = qobject_cast<QLabel*>(w))
                label->setText(s);
            else if (auto* button = qobject_cast<QAbstractButton*>(w))
                button->setText(s);
        }
    }
    setGroupTabStop();
    refreshing_ = false;
}

std::vector<QAbstractButton*> TemplateDialog::radioGroup() const {
    std::vector<QAbstractButton*> group;
    for (const dialogs::DialogItem& item : model_.dialogTemplate().items)
        if (item.kind == ItemKind::AutoRadioButton)
            group.push_back(static_cast<QAbstractButton*>(control(item.id)));
    return group;
}

void TemplateDialog::setGroupTabStop() {
    // Tab enters a radio group at its checked button (the first when none is).
    const std::vector<QAbstractButton*> group = radioGroup();
    if (!groupTabStop_ || group.empty()) return;
    QAbstractButton* stop = group.front();
    for (QAbstractButton* b : group)
        if (b->isChecked()) stop = b;
    for (QAbstractButton* b : group)
        b->setFocusPolicy(b == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

bool TemplateDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    const bool next = key == Qt::Key_Right || key == Qt::Key_Down;
    if (!next && key != Qt::Key_Left && key != Qt::Key_Up) return false;
    // The arrows move through the group and choose the button they reach.
    const std::vector<QAbstractButton*> group = radioGroup();
    const auto it = std::find(group.begin(), group.end(), watched);
    if (it == group.end()) return false;
    const size_t n = group.size(), i = static_cast<size_t>(it - group.begin());
    QAbstractButton* target = group[next ? (i + 1) % n : (i + n - 1) % n];
    target->setFocus(Qt::TabFocusReason);
    target->click();
    return true;
}

template <class F>
void TemplateDialog::input(F&& forward) {
    // An input that arrives while the model is still busy with the previous
    // one (inside the loop of a message box it shows) is not a user's choice.
    if (finished_ || refreshing_ || forwarding_) return;
    forwarding_ = true;
    forward();
    forwarding_ = false;
    if (model_.ended()) {
        finished_ = true;
        hide();
        if (isModal())
            done(0);
        else
            emit closedByModel();
        return;
    }
    refresh();
}

void TemplateDialog::buttonClicked(const dialogs::DialogItem& item, QAbstractButton* button) {
    if (item.kind == ItemKind::AutoRadioButton) {
        // Checks itself and clears the rest of the dialog's one group.
        for (const dialogs::DialogItem& other : model_.dialogTemplate().items)
            if (other.kind == ItemKind::AutoRadioButton)
                if (auto* r = static_cast<QAbstractButton*>(control(other.id)))
                    r->setChecked(r == button);
    }
    input([&] { model_.command(item.id); });
}

void TemplateDialog::scrollAction(int id, QScrollBar* bar, int action) {
    int code = -1;
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            code = dialogs::kSbLineLeft;
            break;
        case QAbstractSlider::SliderSingleStepAdd:
            code = dialogs::kSbLineRight;
            break;
        case QAbstractSlider::SliderPageStepSub:
            code = dialogs::kSbPageLeft;
            break;
        case QAbstractSlider::SliderPageStepAdd:
            code = dialogs::kSbPageRight;
            break;
        case QAbstractSlider::SliderToMinimum:
            code = dialogs::kSbLeft;
            break;
        case QAbstractSlider::SliderToMaximum:
            code = dialogs::kSbRight;
            break;
        case QAbstractSlider::SliderMove:
            code = dialogs::kSbThumbTrack;
            break;
        default:
            return;
    }
    const auto pos = static_cast<uint16_t>(bar->sliderPosition());
    input([&] {
        model_.horizontalScroll(id, code, pos);
        // A click or key is over at once; a drag ends when the thumb is let go.
        if (code != dialogs::kSbThumbTrack) model_.horizontalScroll(id, dialogs::kSbEndScroll, 0);
    });
    // The action is applied after this signal: the model's thumb overrides it.
    if (!finished_ && code != dialogs::kSbThumbTrack)
        bar->setSliderPosition(model_.scrollPosition(id));
}

void TemplateDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            input([&] { model_.command(dialogs::kIdCancel); });
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // A push button with the focus is pressed; anywhere else Enter is OK.
            if (auto* b = qobject_cast<QPushButton*>(focusWidget())) {
                b->click();
                return;
            }
            input([&] { model_.command(dialogs::kIdOk); });
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void TemplateDialog::closeEvent(QCloseEvent* event) {
    if (!finished_) {
        event->ignore();
        input([&] { model_.command(dialogs::kIdCancel); });
    }
}

}  // namespace qt_front
