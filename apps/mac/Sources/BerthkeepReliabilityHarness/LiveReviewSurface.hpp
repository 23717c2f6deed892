#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>
#include <string>

#include "Berthkeep/Domain/FullMonitoringStatus.hpp"
#include "Berthkeep/Store/BerthkeepStore.hpp"
#include "BerthkeepReliabilityHarness/MenuContentFactory.hpp"

class QLabel;
class QVBoxLayout;

namespace berthkeep {

class MenuPreviewSurface;

// The "Live Harness" tab: on the left what the store holds (safety state,
// latest trigger, Full Monitoring, a blocked-notifications warning), buttons
// that refresh the inventory and simulate the sleep triggers, and every
// detected drive; on the right the real menu, wired straight to the store.
//
// Keeps nothing of its own: every change the store announces redraws both
// sides on the next event-loop turn. The product's menu is built once and
// given each new state in place, so a card menu open on it stays open; other
// menu contents, and any menu after a palette change, are built again. Main thread only; the store
// must outlive nothing here, a released store leaves the surface as it was.
class LiveReviewSurface final : public QWidget {
public:
    LiveReviewSurface(BerthkeepStore& store, MenuContentFactory menuContent,
                      std::function<void()> onOpenSettings, QWidget* parent = nullptr);

    // "Checking", "Unavailable", "On" or "Limited protection".
    static std::string fullMonitoringSummary(FullMonitoringStatus status);

    // Redraws from the store now rather than on the next turn.
    void refresh();

protected:
    void changeEvent(QEvent* event) override;

private:
    QWidget* makeControlRail();
    QWidget* makeLiveMenuColumn();
    void scheduleRefresh();
    void refreshStatus();
    void refreshDrives();
    void refreshMenu();
    void rebuildMenu();
    MenuContentCallbacks storeCallbacks();

    QPointer<BerthkeepStore> m_store;
    MenuContentFactory m_menuContent;
    std::function<void()> m_onOpenSettings;
    bool m_refreshScheduled = false;
    bool m_menuNeedsRebuild = true;

    QLabel* m_stateLabel = nullptr;
    QLabel* m_triggerLabel = nullptr;
    QLabel* m_fullMonitoringLabel = nullptr;
    QLabel* m_notificationsWarning = nullptr;
    QWidget* m_driveList = nullptr;
    QVBoxLayout* m_driveListLayout = nullptr;
    QVBoxLayout* m_menuSlot = nullptr;
    QPointer<QWidget> m_menuSurface;
    QPointer<QWidget> m_menu;
};

} // namespace berthkeep
