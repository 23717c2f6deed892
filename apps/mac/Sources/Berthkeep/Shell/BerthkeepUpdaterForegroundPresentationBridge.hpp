#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Berthkeep/Shell/BerthkeepForegroundPresentationCoordinator.hpp"
#include "BerthkeepShared/BerthkeepLogger.hpp"
#include "platform/Notifications/UserNotificationCenter.hpp"
#include "platform/Updater/SoftwareUpdater.hpp"

namespace berthkeep {

// Keeps the program a regular application while the updater shows its windows
// (at most one presentation, however many updates are shown), and marks an
// update that a scheduled check found with a badge and a reminder notification,
// both withdrawn once the user looks at it or the session ends. Main thread only.
class BerthkeepUpdaterForegroundPresentationBridge final : public SoftwareUpdaterDelegate {
public:
    using RequestNotificationAuthorization = std::function<void()>;
    // No label removes the badge.
    using SetBadgeLabel = std::function<void(const std::optional<std::string>& label)>;
    using RemoveDeliveredNotifications =
        std::function<void(const std::vector<std::string>& identifiers)>;

    // Other tools look for the reminder under this identifier; keep it.
    static constexpr const char* updateReminderIdentifier = "berthkeep.sparkle-update";
    static constexpr const char* updateReminderTitle = "A new update is available";

    // coordinator must not be null; notificationCenter may be (then nothing is
    // asked, posted or removed). A missing function gets its default: the first
    // and last go to the centre, the badge label is only logged to `logger`,
    // as this system has no Dock tile to put it on.
    BerthkeepUpdaterForegroundPresentationBridge(
        std::shared_ptr<BerthkeepForegroundPresentationCoordinator> coordinator,
        std::shared_ptr<UserNotificationCenter> notificationCenter, BerthkeepLogger logger,
        RequestNotificationAuthorization requestNotificationAuthorization = {},
        SetBadgeLabel setBadgeLabel = {},
        RemoveDeliveredNotifications removeDeliveredNotifications = {});

    // The reminder for an update of that display version: shown at once, silent.
    static UserNotificationRequest updateReminderRequest(const std::string& displayVersion);

    BerthkeepForegroundPresentationCoordinator& coordinator() const { return *m_coordinator; }
    // Nothing when one is already held.
    void beginForegroundPresentation();
    bool holdsForegroundPresentation() const { return m_foregroundPresentation != nullptr; }

    void willScheduleUpdateCheckAfterDelay(std::chrono::duration<double> delay) override;
    void didFinishUpdateCycle(std::exception_ptr error) override;
    bool supportsGentleScheduledUpdateReminders() const override { return true; }
    void willHandleShowingUpdate(bool handleShowingUpdate, const SoftwareUpdateItem& update,
                                 const SoftwareUserUpdateState& state) override;
    void didReceiveUserAttention(const SoftwareUpdateItem& update) override;
    void willFinishUpdateSession() override;

private:
    void endForegroundPresentation();
    void clearUpdateReminder();

    std::shared_ptr<BerthkeepForegroundPresentationCoordinator> m_coordinator;
    std::unique_ptr<BerthkeepForegroundPresentation> m_foregroundPresentation;
    std::shared_ptr<UserNotificationCenter> m_notificationCenter;
    RequestNotificationAuthorization m_requestNotificationAuthorization;
    SetBadgeLabel m_setBadgeLabel;
    RemoveDeliveredNotifications m_removeDeliveredNotifications;
};

} // namespace berthkeep
