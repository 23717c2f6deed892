#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <optional>

class QSystemTrayIcon;

namespace berthkeep {

// The program's place in the menu bar. Where the desktop offers a tray, a tray
// icon whose click opens a frameless popup holding the content, closed again by
// dismiss() or a click elsewhere. Where none does (offscreen, a bare X server),
// the content lives in a small window of its own, shown by show() and left open
// by dismiss(), since it is the only way to reach the program; closing that
// window asks to quit. Main thread only.
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

signals:
    // The user closed the window of the window mode.
    void closeRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void placePopup();

    Mode m_mode;
    QPointer<QWidget> m_panel;
    std::unique_ptr<QSystemTrayIcon> m_tray;
};

} // namespace berthkeep
