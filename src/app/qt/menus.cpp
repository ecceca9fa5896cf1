#include "app/qt/menus.h"

#include <QActionGroup>
#include <QMenuBar>

namespace qt_front {

namespace {
constexpr const char* kCoreChecked = "tarnixChecked";
}

QActionGroup* MenuItems::group(ui::RadioGroup radio, QObject* parent) {
    QActionGroup*& g = groups_[radio];
    if (!g) {
        g = new QActionGroup(parent);
        // Exclusive for the look; the core may leave the whole group
        // unchecked (Zoom Vertical at start).
        g->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    }
    return g;
}

void MenuItems::build(QMenu* menu, std::span<const ui::MenuNode> nodes,
                      const std::function<void(uint32_t)>& chosen, bool marks) {
    for (const ui::MenuNode& n : nodes) {
        switch (n.kind) {
            case ui::MenuNodeKind::Separator:
                menu->addSeparator();
                break;
            case ui::MenuNodeKind::Submenu:
                build(menu->addMenu(QString::fromUtf8(n.label)), n.children, chosen, marks);
                break;
            case ui::MenuNodeKind::Item: {
                QAction* a = menu->addAction(QString::fromUtf8(n.label));
                a->setEnabled(!n.grayed);
                const uint32_t id = n.id;
                actions_[id] = a;
                if (!marks || !ui::hasCheckMark(id)) {
                    QObject::connect(a, &QAction::triggered, a, [id, chosen] { chosen(id); });
                    break;
                }
                a->setCheckable(true);
                a->setChecked(n.checked);
                a->setProperty(kCoreChecked, n.checked);
                const ui::CommandInfo* info = ui::findCommand(id);
                if (info && info->group != ui::RadioGroup::None)
                    a->setActionGroup(group(info->group, menu));
                QObject::connect(a, &QAction::triggered, a, [a, id, chosen] {
                    // The marks are the core's to change: put back what Qt
                    // changed on the click, in the whole group.
                    if (QActionGroup* g = a->actionGroup()) {
                        for (QAction* other : g->actions())
                            if (other->property(kCoreChecked).toBool()) other->setChecked(true);
                        for (QAction* other : g->actions())
                            if (!other->property(kCoreChecked).toBool()) other->setChecked(false);
                    } else {
                        a->setChecked(a->property(kCoreChecked).toBool());
                    }
                    chosen(id);
                });
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
    if (QAction* a = action(id); a && a->isCheckable()) {
        a->setProperty(kCoreChecked, checked);
        a->setChecked(checked);
    }
}

void MenuItems::setEnabled(uint32_t id, bool enabled) {
    if (QAction* a = action(id)) a->setEnabled(enabled);
}

}  // namespace qt_front
