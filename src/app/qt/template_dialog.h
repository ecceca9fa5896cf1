// The one dialog builder: any of the core's dialog templates laid out from
// dialog units, with every control kind they use, driven by its DialogModel.
// The widgets only report the user's input; what they show comes from the
// model after every input (and on refresh()), so the core decides every
// check mark, list and thumb.
#pragma once

#include <QDialog>
#include <QFont>
#include <map>
#include <vector>

#include "dialogs/dialog_model.h"

class QAbstractButton;
class QListWidget;
class QScrollBar;

namespace qt_front {

// The font that stands in for the templates' font, and the size of one
// dialog unit in it.
QFont dialogFont();
struct DialogUnits {
    int averageWidth = 1;  // the platform's average: the Latin letters' width / 52, rounded
    int height = 1;
    int x(int du) const { return du * averageWidth / 4; }
    int y(int du) const { return du * height / 8; }
};
DialogUnits dialogUnits(const QFont& font);

class TemplateDialog final : public QDialog {
    Q_OBJECT
  public:
    // A modal dialog ends its exec() when the model ends; a modeless one
    // emits closedByModel() and hides.
    TemplateDialog(dialogs::DialogModel& model, QWidget* owner);

    dialogs::DialogModel& model() { return model_; }
    // Sets every control from the model.
    void refresh();
    // The control of a template item, for tests.
    QWidget* control(int id) const;

  signals:
    void closedByModel();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void build();
    QWidget* makeControl(const dialogs::DialogItem& item);
    QAbstractButton* makeButton(const dialogs::DialogItem& item, const QString& text);
    void placeControl(const dialogs::DialogItem& item, QWidget* w, const DialogUnits& du,
                      int shift);
    void centre();
    // Forwards one input and then shows what the model made of it.
    template <class F>
    void input(F&& forward);
    void buttonClicked(const dialogs::DialogItem& item, QAbstractButton* button);
    void scrollAction(int id, QScrollBar* bar, int action);
    std::vector<QAbstractButton*> radioGroup() const;
    void setGroupTabStop();

    dialogs::DialogModel& model_;
    std::map<int, QWidget*> controls_;
    bool groupTabStop_ = false;  // the radio group is reached with Tab
    bool refreshing_ = false;
    bool forwarding_ = false;  // an input is with the model
    bool finished_ = false;
};

}  // namespace qt_front
