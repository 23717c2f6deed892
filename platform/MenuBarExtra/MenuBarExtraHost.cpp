#include "platform/MenuBarExtra/MenuBarExtraHost.hpp"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>

namespace berthkeep {

MenuBarExtraHost::MenuBarExtraHost(QWidget* content, QIcon icon, QString toolTip,
                                   std::optional<Mode> mode, QObject* parent)
    : QObject(parent)
    , m_mode(mode.value_or(preferredMode()))
    , m_content(content) {
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
    // Holds the focus when no row does, without being a tab stop itself.
    m_panel->setFocusPolicy(Qt::ClickFocus);
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
    startFocus();
    m_iconArea = currentIconArea();
    capHeight();
    m_panel->adjustSize();
    place();
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
    if (watched != m_panel || !m_panel->isVisible()) {
        return QObject::eventFilter(watched, event);
    }
    if (event->type() == QEvent::WindowActivate && m_mode == Mode::window && !m_wasActivated) {
        // The first activation of the window hands the focus to its first
        // row, whatever the opening chose: choose again.
        m_wasActivated = true;
        startFocus();
    } else if (event->type() == QEvent::Resize) {
        place();
    } else if (m_mode == Mode::window &&
               (event->type() == QEvent::Show || event->type() == QEvent::Move)) {
        // A window manager's frame is known only once the window is up.
        capHeight();
        place();
    }
    return QObject::eventFilter(watched, event);
}

void MenuBarExtraHost::startFocus() {
    m_panel->setFocus(Qt::OtherFocusReason);
    emit aboutToOpen();
}

QRect MenuBarExtraHost::currentIconArea() const {
    const QRect icon = m_tray ? m_tray->geometry() : QRect();
    return icon.isValid() ? icon : QRect(QCursor::pos(), QSize(1, 1));
}

QScreen* MenuBarExtraHost::screenOfPanel() const {
    QScreen* screen = nullptr;
    if (m_mode == Mode::trayPopup) {
        screen = QGuiApplication::screenAt(m_iconArea.center());
    } else if (m_panel->isVisible()) {
        screen = m_panel->screen();
    }
    return screen != nullptr ? screen : QGuiApplication::primaryScreen();
}

int MenuBarExtraHost::popupHeightLimit(const QRect& iconArea, const QRect& available) {
    const int below = available.bottom() - std::max(iconArea.bottom(), available.top() - 1);
    const int above = std::min(iconArea.top(), available.bottom() + 1) - available.top();
    return std::max({below, above, 0});
}

QRect MenuBarExtraHost::popupFrame(const QSize& size, const QRect& iconArea,
                                   const QRect& available) {
    QRect frame(QPoint(iconArea.left(), iconArea.bottom() + 1), size);
    if (frame.bottom() > available.bottom()) {
        frame.moveBottom(iconArea.top() - 1);
    }
    frame.moveRight(std::min(frame.right(), available.right()));
    frame.moveLeft(std::max(frame.left(), available.left()));
    frame.moveBottom(std::min(frame.bottom(), available.bottom()));
    frame.moveTop(std::max(frame.top(), available.top()));
    return frame;
}

void MenuBarExtraHost::capHeight() {
    QScreen* screen = screenOfPanel();
    if (screen == nullptr || !m_content) {
        return;
    }
    const QRect available = screen->availableGeometry();
    int limit = available.height();
    if (m_mode == Mode::trayPopup) {
        limit = popupHeightLimit(m_iconArea, available);
    } else {
        // A window manager's title bar and borders take their share.
        limit -= m_panel->frameGeometry().height() - m_panel->height();
    }
    m_content->setMaximumHeight(std::max(limit, 0));
    if (QLayout* layout = m_panel->layout()) {
        layout->activate();
    }
}

void MenuBarExtraHost::place() {
    QScreen* screen = screenOfPanel();
    if (screen == nullptr) {
        return;
    }
    const QRect available = screen->availableGeometry();
    if (m_mode == Mode::trayPopup) {
        m_panel->move(popupFrame(m_panel->size(), m_iconArea, available).topLeft());
        return;
    }
    // The window stays where it is, pulled back inside the screen when it grew
    // past its edge.
    QRect frame = m_panel->frameGeometry();
    frame.moveBottom(std::min(frame.bottom(), available.bottom()));
    frame.moveTop(std::max(frame.top(), available.top()));
    frame.moveRight(std::min(frame.right(), available.right()));
    frame.moveLeft(std::max(frame.left(), available.left()));
    if (frame.topLeft() != m_panel->pos()) {
        m_panel->move(frame.topLeft());
    }
}

} // namespace berthkeep
