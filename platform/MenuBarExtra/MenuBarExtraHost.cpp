#include "platform/MenuBarExtra/MenuBarExtraHost.hpp"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <QWidget>

namespace berthkeep {

MenuBarExtraHost::MenuBarExtraHost(QWidget* content, QIcon icon, QString toolTip,
                                   std::optional<Mode> mode, QObject* parent)
    : QObject(parent)
    , m_mode(mode.value_or(preferredMode())) {
    const Qt::WindowFlags flags =
        m_mode == Mode::trayPopup
            ? Qt::Popup | Qt::FramelessWindowHint
            : Qt::Window | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint;
    m_panel = new QWidget(nullptr, flags);
    m_panel->setWindowTitle(toolTip);
    m_panel->setWindowIcon(icon);
    auto* layout = new QVBoxLayout(m_panel);
    layout->setContentsMargins(0, 0, 0, 0);
    // The panel takes the content's size whenever the content changes: a
    // shorter list shrinks the popup and the window alike.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(content);
    m_panel->installEventFilter(this);

    if (m_mode == Mode::trayPopup) {
        m_tray = std::make_unique<QSystemTrayIcon>(icon);
        m_tray->setToolTip(toolTip);
        connect(m_tray.get(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason != QSystemTrayIcon::Trigger &&
                        reason != QSystemTrayIcon::DoubleClick) {
                        return;
                    }
                    if (isOpen()) {
                        dismiss();
                    } else {
                        open();
                    }
                });
    }
}

MenuBarExtraHost::~MenuBarExtraHost() {
    if (m_panel) {
        m_panel->removeEventFilter(this);
        delete m_panel;
    }
}

MenuBarExtraHost::Mode MenuBarExtraHost::preferredMode() {
    return QSystemTrayIcon::isSystemTrayAvailable() ? Mode::trayPopup : Mode::window;
}

void MenuBarExtraHost::show() {
    if (m_tray) {
        m_tray->show();
    } else {
        open();
    }
}

void MenuBarExtraHost::setIcon(const QIcon& icon) {
    if (m_tray) {
        m_tray->setIcon(icon);
    }
    m_panel->setWindowIcon(icon);
}

void MenuBarExtraHost::open() {
    if (m_mode == Mode::trayPopup) {
        m_panel->adjustSize();
        placePopup();
    }
    m_panel->show();
    m_panel->raise();
    m_panel->activateWindow();
}

void MenuBarExtraHost::dismiss() {
    if (m_mode == Mode::trayPopup) {
        m_panel->hide();
    }
}

bool MenuBarExtraHost::isOpen() const {
    return m_panel && m_panel->isVisible();
}

bool MenuBarExtraHost::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_panel && event->type() == QEvent::Close && m_mode == Mode::window) {
        // Hiding the only window would leave the program unreachable.
        event->ignore();
        emit closeRequested();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void MenuBarExtraHost::placePopup() {
    // Under the icon when the tray tells where it is, else at the pointer; kept
    // on the screen's free area either way.
    const QRect iconArea = m_tray ? m_tray->geometry() : QRect();
    const QPoint anchor = iconArea.isValid() ? iconArea.bottomLeft() : QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(anchor);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    QRect frame(anchor, m_panel->size());
    if (screen != nullptr) {
        const QRect available = screen->availableGeometry();
        if (frame.bottom() > available.bottom()) {
            frame.moveBottom(iconArea.isValid() ? iconArea.top() - 1 : available.bottom());
        }
        frame.moveRight(std::min(frame.right(), available.right()));
        frame.moveLeft(std::max(frame.left(), available.left()));
        frame.moveTop(std::max(frame.top(), available.top()));
    }
    m_panel->move(frame.topLeft());
}

} // namespace berthkeep
