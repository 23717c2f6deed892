#include "platform/Activation/DesktopApplicationActivation.hpp"

#include <QGuiApplication>
#include <QWindow>

namespace berthkeep {

void DesktopApplicationActivation::activateIgnoringOtherApps() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        return;
    }
    QWindow* target = QGuiApplication::focusWindow();
    if (!target) {
        // Newest first: the window just shown is the one the user asked for.
        const auto windows = QGuiApplication::topLevelWindows();
        for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
            if ((*it)->isVisible()) {
                target = *it;
                break;
            }
        }
    }
    if (target) {
        target->raise();
        target->requestActivate();
    }
}

} // namespace berthkeep
