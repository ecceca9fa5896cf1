// The menus built from the core's menu table: the menu bar (101) and the
// popup (the first submenu of 104). Only the items the core checks (toggles
// and radio groups) are checkable, and the items of a radio group are drawn
// as radio items. Such an item remembers the mark the core gave it; a click
// never changes a mark by itself, it only reports the command.
#pragma once

#include <QMenu>
#include <functional>
#include <map>
#include <span>

#include "ui/menu_table.h"

class QActionGroup;
class QMenuBar;

namespace qt_front {

class MenuItems {
  public:
    // Adds the nodes to a menu; chosen(id) runs when an item is chosen.
    // `marks`: the menu shows check marks (the popup shows none).
    void build(QMenu* menu, std::span<const ui::MenuNode> nodes,
               const std::function<void(uint32_t)>& chosen, bool marks = true);
    void buildBar(QMenuBar* bar, std::span<const ui::MenuNode> nodes,
                  const std::function<void(uint32_t)>& chosen);

    void setChecked(uint32_t id, bool checked);
    void setEnabled(uint32_t id, bool enabled);
    QAction* action(uint32_t id) const;
    const std::map<uint32_t, QAction*>& actions() const { return actions_; }

  private:
    QActionGroup* group(ui::RadioGroup radio, QObject* parent);

    std::map<uint32_t, QAction*> actions_;
    std::map<ui::RadioGroup, QActionGroup*> groups_;
};

}  // namespace qt_front
