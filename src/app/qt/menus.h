// The menus built from the core's menu table: the menu bar (101) and the
// popup (the first submenu of 104). Every item is an action that remembers
// the check mark the core gave it; a click never changes a mark by itself,
// it only reports the command.
#pragma once

#include <QMenu>
#include <functional>
#include <map>
#include <span>

#include "ui/menu_table.h"

class QMenuBar;

namespace qt_front {

class MenuItems {
  public:
    // Adds the nodes to a menu; chosen(id) runs when an item is chosen.
    void build(QMenu* menu, std::span<const ui::MenuNode> nodes,
               const std::function<void(uint32_t)>& chosen);
    void buildBar(QMenuBar* bar, std::span<const ui::MenuNode> nodes,
                  const std::function<void(uint32_t)>& chosen);

    void setChecked(uint32_t id, bool checked);
    void setEnabled(uint32_t id, bool enabled);
    QAction* action(uint32_t id) const;
    const std::map<uint32_t, QAction*>& actions() const { return actions_; }

  private:
    std::map<uint32_t, QAction*> actions_;
};

}  // namespace qt_front
