#include "Berthkeep/Settings/WindowCloseShortcuts.hpp"

#include <QEvent>
#include <QKeyEvent>
#include <QWidget>

namespace berthkeep {

namespace {

// Watches the key presses that reach the window: those its controls leave
// unused come up to it, whether or not the window is the active one, which a
// desktop without a window manager may never make it.
class WindowCloseKeys final : public QObject {
public:
    explicit WindowCloseKeys(QWidget* window)
        : QObject(window)
        , m_window(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_window && event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
            if ((key->key() == Qt::Key_Escape && modifiers == Qt::NoModifier) ||
                (key->key() == Qt::Key_W && modifiers == Qt::ControlModifier)) {
                m_window->close();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* m_window;
};

} // namespace

void addWindowCloseShortcuts(QWidget* window) {
    window->installEventFilter(new WindowCloseKeys(window));
}

} // namespace berthkeep
