#include "Berthkeep/Settings/WindowCloseShortcuts.hpp"

#include <QKeySequence>
#include <QShortcut>
#include <QWidget>

namespace berthkeep {

void addWindowCloseShortcuts(QWidget* window) {
    for (const QKeySequence& keys :
         {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto* shortcut = new QShortcut(keys, window);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, window, &QWidget::close);
    }
}

} // namespace berthkeep
