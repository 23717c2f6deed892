#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "Berthkeep/Domain/DriveAction.hpp"
#include "Berthkeep/Domain/DriveGroupActionKind.hpp"
#include "Berthkeep/Domain/MenubarRemediationAction.hpp"
#include "Berthkeep/Domain/MenubarUtilityAction.hpp"
#include "Berthkeep/Domain/MenubarViewState.hpp"
#include "Berthkeep/MenuBar/MenuBarContentView.hpp"
#include "Berthkeep/MenuBar/MenuBarExtraActionDispatcher.hpp"
#include "Berthkeep/MenuBar/MenuBarStatusLabelImage.hpp"
#include "platform/MenuBarExtra/MenuBarExtraHost.hpp"

namespace berthkeep {

class BerthkeepStore;

// The program's place in the menu bar: the status icon and, on click, the menu
// content, both following the store's state. Every click closes the menu first
// and then makes one call: a store operation, the settings window, the feedback
// address or quitting. Main thread only.
class BerthkeepMenubarExtraScene final : public QObject {
    Q_OBJECT

public:
    static constexpr int menuWidth = 356;
    static constexpr std::chrono::milliseconds settingsDelay{150};

    struct Options {
        // Null: close the menu panel, and run the action 150 ms later.
        std::optional<MenuBarExtraActionDispatcher> actionDispatcher;
        // Null: the bundle's feedback page, else the mail fallback.
        std::function<QUrl()> feedbackURLProvider;
        std::function<void(const QUrl&)> openFeedbackURL;
        // Null: a tray where the desktop has one, else a window of its own.
        std::optional<MenuBarExtraHost::Mode> mode;
        std::chrono::milliseconds settingsDelay = BerthkeepMenubarExtraScene::settingsDelay;
        // How long a row of the menu must hold still before a click on it counts;
        // null clock: the live one.
        std::shared_ptr<Clock> clock;
        std::chrono::milliseconds clickQuietPeriod = MenuLayoutShiftGuard::defaultQuietPeriod;
    };

    BerthkeepMenubarExtraScene(BerthkeepStore& store, std::function<void()> showSettings,
                               Options options, QObject* parent = nullptr);
    ~BerthkeepMenubarExtraScene() override;

    void show();
    MenuBarExtraHost& host() { return *m_host; }
    MenuBarContentView& content() { return *m_content; }

    void performMenuUtilityAction(MenubarUtilityAction::Kind kind);
    void performMenuDriveAction(DriveAction::Kind kind, const std::string& driveID);
    void performMenuDriveGroupAction(DriveGroupActionKind kind, const std::string& groupID);
    void performMenuRemediationAction(const MenubarRemediationAction& action);
    void openSettingsFromMenu();
    void performMenuSendFeedback();
    void performMenuQuit();

private:
    void stateChanged();
    std::optional<std::set<std::string>> shownDriveIDs() const;
    std::optional<std::set<std::string>> shownGroupDriveIDs(const std::string& groupID) const;

    QPointer<BerthkeepStore> m_store;
    std::function<void()> m_showSettings;
    Options m_options;
    MenuBarExtraActionDispatcher m_dispatcher;
    MenuBarStatusLabelImage m_label;
    // What the icon was last drawn for: a republished equal state redraws nothing.
    std::optional<std::pair<MenubarViewState, BerthkeepMenubarIcon::ColorScheme>> m_iconDrawnFor;
    QPointer<MenuBarContentView> m_content;
    std::unique_ptr<MenuBarExtraHost> m_host;
};

} // namespace berthkeep
