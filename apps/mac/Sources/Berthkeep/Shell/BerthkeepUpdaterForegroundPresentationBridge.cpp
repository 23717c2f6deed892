#include "Berthkeep/Shell/BerthkeepUpdaterForegroundPresentationBridge.hpp"

#include <utility>

namespace berthkeep {

BerthkeepUpdaterForegroundPresentationBridge::BerthkeepUpdaterForegroundPresentationBridge(
    std::shared_ptr<BerthkeepForegroundPresentationCoordinator> coordinator,
    std::shared_ptr<UserNotificationCenter> notificationCenter, BerthkeepLogger logger,
    RequestNotificationAuthorization requestNotificationAuthorization, SetBadgeLabel setBadgeLabel,
    RemoveDeliveredNotifications removeDeliveredNotifications)
    : m_coordinator(std::move(coordinator))
    , m_notificationCenter(std::move(notificationCenter))
    , m_requestNotificationAuthorization(std::move(requestNotificationAuthorization))
    , m_setBadgeLabel(std::move(setBadgeLabel))
    , m_removeDeliveredNotifications(std::move(removeDeliveredNotifications)) {
    if (!m_requestNotificationAuthorization) {
        m_requestNotificationAuthorization = [center = m_notificationCenter] {
            if (!center) {
                return;
            }
            UserNotificationAuthorizationOptions options;
            options.alert = true;
            options.sound = true;
            options.badge = true;
            // The answer only decides whether the reminder shows; the badge is set anyway.
            center->requestAuthorization(options, [](bool, std::exception_ptr) {});
        };
    }
    if (!m_setBadgeLabel) {
        m_setBadgeLabel = [logger = std::move(logger)](const std::optional<std::string>& label) {
            logger.debug(BerthkeepLogCategory::state, "updater.badge_label",
                         "No Dock tile here: badge label recorded only",
                         {{"label", label.value_or("")}});
        };
    }
    if (!m_removeDeliveredNotifications) {
        m_removeDeliveredNotifications =
            [center = m_notificationCenter](const std::vector<std::string>& identifiers) {
                if (center) {
                    center->removeDeliveredNotifications(identifiers);
                }
            };
    }
}

UserNotificationRequest BerthkeepUpdaterForegroundPresentationBridge::updateReminderRequest(
    const std::string& displayVersion) {
    UserNotificationRequest request;
    request.identifier = updateReminderIdentifier;
    request.content.title = updateReminderTitle;
    request.content.body = "Version " + displayVersion + " is now available";
    return request;
}

void BerthkeepUpdaterForegroundPresentationBridge::beginForegroundPresentation() {
    if (!m_foregroundPresentation) {
        m_foregroundPresentation = m_coordinator->beginPresentation();
    }
}

void BerthkeepUpdaterForegroundPresentationBridge::endForegroundPresentation() {
    // Dropped before it ends, so the session's end and the cycle's end end it once.
    if (auto presentation = std::exchange(m_foregroundPresentation, nullptr)) {
        presentation->end();
    }
}

void BerthkeepUpdaterForegroundPresentationBridge::clearUpdateReminder() {
    m_setBadgeLabel(std::nullopt);
    m_removeDeliveredNotifications({updateReminderIdentifier});
}

void BerthkeepUpdaterForegroundPresentationBridge::willScheduleUpdateCheckAfterDelay(
    std::chrono::duration<double>) {
    m_requestNotificationAuthorization();
}

void BerthkeepUpdaterForegroundPresentationBridge::didFinishUpdateCycle(std::exception_ptr) {
    endForegroundPresentation();
}

void BerthkeepUpdaterForegroundPresentationBridge::willHandleShowingUpdate(
    bool, const SoftwareUpdateItem& update, const SoftwareUserUpdateState& state) {
    beginForegroundPresentation();
    // The user who asked is already looking: no reminder.
    if (state.userInitiated) {
        return;
    }
    m_setBadgeLabel(std::string("1"));
    if (m_notificationCenter) {
        m_notificationCenter->add(updateReminderRequest(update.displayVersionString),
                                  [](std::exception_ptr) {});
    }
}

void BerthkeepUpdaterForegroundPresentationBridge::didReceiveUserAttention(
    const SoftwareUpdateItem&) {
    clearUpdateReminder();
}

void BerthkeepUpdaterForegroundPresentationBridge::willFinishUpdateSession() {
    clearUpdateReminder();
    endForegroundPresentation();
}

} // namespace berthkeep
