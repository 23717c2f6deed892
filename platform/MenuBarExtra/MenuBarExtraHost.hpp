#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <optional>

class QScreen;
class QSystemTrayIcon;

namespace berthkeep {

// The program's place in the menu bar. Where the desktop offers a tray, a tray
// icon whose click opens a frameless popup holding the content, closed again by
// dismiss() or a click elsewhere. Where none does (offscreen, a bare X server),
// the content lives in a small window of its own, shown by show() and left open
// by dismiss(), since it is the only way to reach the program; closing that
// window asks to quit. Either way the panel is never taller than its screen's
// free height: the content gets that as its maximum height and decides what
// gives way. The popup sits beside the icon and is placed again whenever its
// size changes. Every opening starts with the focus on the panel itself (no
// row), so nothing carries over from the last one. Main thread only.
class MenuBarExtraHost final : public QObject {
    Q_OBJECT

public:
    enum class Mode { trayPopup, window };

    // Takes ownership of `content`. Without a mode the tray decides.
    MenuBarExtraHost(QWidget* content, QIcon icon, QString toolTip,
                     std::optional<Mode> mode = std::nullopt, QObject* parent = nullptr);
    ~MenuBarExtraHost() override;

    static Mode preferredMode();
    Mode mode() const { return m_mode; }

    // Puts the icon in the tray, or opens the window.
    void show();
    void setIcon(const QIcon& icon);
    // Opens the popup under the icon (or raises the window).
    void open();
    void dismiss();
    bool isOpen() const;
    // The window that holds the content.
    QWidget* panel() const { return m_panel; }

    // The tallest popup that fits beside the icon: the larger free span of the
    // screen's available area above or below it.
    static int popupHeightLimit(const QRect& iconArea, const QRect& available);
    // Below the icon when it fits there, else above it; inside the available
    // area either way.
    static QRect popupFrame(const QSize& size, const QRect& iconArea, const QRect& available);

signals:
    // open() was called and the panel shows right after, or the window of the
    // window mode was activated for the first time: the content may choose
    // where the focus starts.
    void aboutToOpen();

    // The user closed the window of the window mode.
    void closeRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The icon's area on screen; a point at the pointer where the tray tells none.
    QRect currentIconArea() const;
    // No row has the focus, then the content may choose one.
    void startFocus();
    QScreen* screenOfPanel() const;
    void capHeight();
    void place();

    Mode m_mode;
    QPointer<QWidget> m_panel;
    QPointer<QWidget> m_content;
    // Where the icon was when the popup opened: a resize places it there again.
    QRect m_iconArea;
    bool m_wasActivated = false;
    std::unique_ptr<QSystemTrayIcon> m_tray;
};

} // namespace berthkeep
