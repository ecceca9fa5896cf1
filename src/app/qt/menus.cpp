#include "app/qt/menus.h"

#include <QMenuBar>

namespace qt_front {

namespace {
constexpr const char* kCoreChecked = "tarnixChecked";
}

void MenuItems::build(QMenu* menu, std::span<const ui::MenuNode> nodes,
                      const std::function<void(uint32_t)>& chosen) {
    for (const ui::MenuNode& n : nodes) {
        switch (n.kind) {
            case ui::MenuNodeKind::Separator:
                menu->addSeparator();
                break;
            case ui::MenuNodeKind::Submenu:
                build(menu->addMenu(QString::fromUtf8(n.label)), n.children, chosen);
                break;
            case ui::MenuNodeKind::Item: {
                QAction* a = menu->addAction(QString::fromUtf8(n.label));
                a->setCheckable(true);
                a->setChecked(n.checked);
                a->setProperty(kCoreChecked, n.checked);
                a->setEnabled(!n.grayed);
                const uint32_t id = n.id;
                QObject::connect(a, &QAction::triggered, a, [a, id, chosen] {
                    // The mark is the core's to change.
                    a->setChecked(a->property(kCoreChecked).toBool());
                    chosen(id);
                });
                actions_[id] = a;
                break;
            }
        }
    }
}

void MenuItems::buildBar(QMenuBar* bar, std::span<const ui::MenuNode> nodes,
                         const std::function<void(uint32_t)>& chosen) {
    for (const ui::MenuNode& n : nodes)
        if (n.kind == ui::MenuNodeKind::Submenu)
            build(bar->addMenu(QString::fromUtf8(n.label)), n.children, chosen);
}

QAction* MenuItems::action(uint32_t id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

void MenuItems::setChecked(uint32_t id, bool checked) {
    if (QAction* a = action(id)) {
        a->setProperty(kCoreChecked, checked);
        a->setChecked(checked);
    }
}

void MenuItems::setEnabled(uint32_t id, bool enabled) {
    if (QAction* a = action(id)) a->setEnabled(enabled);
}

}  // namespace qt_front
