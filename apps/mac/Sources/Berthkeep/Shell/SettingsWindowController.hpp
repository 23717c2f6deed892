#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>

#include <functional>
#include <memory>

#include "Berthkeep/Shell/BerthkeepForegroundPresentation.hpp"

class QMenuBar;
class QWidget;

namespace berthkeep {

class BerthkeepForegroundPresentationCoordinator;
class BerthkeepSettingsView;
class BerthkeepStore;

// Owns the settings window: made on the first show() and kept for the life of
// the process, so closing and showing again keeps the page. It opens within the
// screen at any scale, can be resized, and closes on Escape and Ctrl+W too, for
// desktops with no window manager to close it. While the window is
// open the program is a regular application (one foreground presentation per
// opening); closing it ends that presentation. Main thread only.
class SettingsWindowController final : public QObject {
public:
    // The store and the coordinator outlive the controller.
    SettingsWindowController(BerthkeepStore& store,
                             std::shared_ptr<BerthkeepForegroundPresentationCoordinator>
                                 foregroundPresentationCoordinator,
                             bool isUpdateCheckAvailable, std::function<void()> onCheckForUpdates);
    ~SettingsWindowController() override;

    // Makes the window on first use, restores it when minimized, and brings it
    // and the program to the front.
    void show();

    // Null until the first show().
    QWidget* window() const { return m_window; }
    BerthkeepSettingsView* page() const { return m_page; }
    // The window's application menu (About, then the update check); null while
    // no update check is available or before the first show().
    QMenuBar* applicationMenuBar() const { return m_applicationMenuBar; }
    bool holdsForegroundPresentation() const { return m_foregroundPresentation != nullptr; }

    // Where the window opens: its preferred size cut to the screen's free area,
    // centred in it.
    static QRect frameWithin(QSize preferred, const QRect& available);

    // The version and build for the page: the bundle's values, else "dev".
    static QString applicationVersion();
    static QString buildNumber();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void makeWindow();
    QMenuBar* makeApplicationMenuBar(QWidget* window);
    void windowWillClose();

    QPointer<QWidget> m_window;
    BerthkeepSettingsView* m_page = nullptr;
    QMenuBar* m_applicationMenuBar = nullptr;
    std::unique_ptr<BerthkeepForegroundPresentation> m_foregroundPresentation;
    BerthkeepStore& m_store;
    std::shared_ptr<BerthkeepForegroundPresentationCoordinator> m_foregroundPresentationCoordinator;
    bool m_isUpdateCheckAvailable;
    std::function<void()> m_onCheckForUpdates;
};

} // namespace berthkeep
