#include "Berthkeep/Shell/LiveBerthkeepNotificationManager.hpp"

#include <QFileInfo>
#include <QString>

#include "BerthkeepShared/Completion.hpp"
#include "platform/Bundle/AppBundle.hpp"
#include "platform/Notifications/FreedesktopNotificationCenter.hpp"

namespace berthkeep {

namespace {

// The centre is held in the frame until its completion handler has run.
QCoro::Task<BerthkeepNotificationAuthorizationStatus>
readStatus(std::shared_ptr<UserNotificationCenter> center) {
    Completion<UserNotificationSettings> settings;
    center->getNotificationSettings(
        [settings](UserNotificationSettings value) { settings.resolve(value); });
    const auto value = co_await settings;
    co_return LiveBerthkeepNotificationManager::mapAuthorizationStatus(value.authorizationStatus);
}

QCoro::Task<BerthkeepNotificationAuthorizationStatus>
requestIfNeeded(std::shared_ptr<UserNotificationCenter> center) {
    if (!center) {
        co_return BerthkeepNotificationAuthorizationStatus::denied;
    }
    const auto before = co_await readStatus(center);
    if (before != BerthkeepNotificationAuthorizationStatus::notDetermined) {
        co_return before;
    }
    // Whether the user agreed, and an error of the request, both show in the
    // status read afterwards.
    Completion<void> answered;
    UserNotificationAuthorizationOptions options;
    options.alert = true;
    center->requestAuthorization(options,
                                 [answered](bool, std::exception_ptr) { answered.resolve(); });
    co_await answered;
    const auto after = co_await readStatus(center);
    co_return after;
}

QCoro::Task<void> deliver(std::shared_ptr<UserNotificationCenter> center,
                          UserNotificationRequest request) {
    if (!center) {
        throw LiveBerthkeepNotificationManager::Error(
            LiveBerthkeepNotificationManager::Error::Kind::unavailable);
    }
    Completion<void> added;
    center->add(std::move(request), [added](std::exception_ptr error) {
        if (error) {
            added.fail(error);
        } else {
            added.resolve();
        }
    });
    co_await added;
}

} // namespace

LiveBerthkeepNotificationManager::LiveBerthkeepNotificationManager(CenterProvider centerProvider)
    : m_centerProvider(std::move(centerProvider)) {}

std::shared_ptr<UserNotificationCenter> LiveBerthkeepNotificationManager::defaultCenter() {
    // The notification centre is only touched when running from an application bundle.
    const auto bundlePath = QString::fromStdString(AppBundle::main()->bundlePath());
    if (QFileInfo(bundlePath).suffix() != QStringLiteral("app")) {
        return nullptr;
    }
    return currentUserNotificationCenter();
}

BerthkeepNotificationAuthorizationStatus LiveBerthkeepNotificationManager::mapAuthorizationStatus(
    UserNotificationAuthorizationStatus status) {
    switch (status) {
    case UserNotificationAuthorizationStatus::notDetermined:
        return BerthkeepNotificationAuthorizationStatus::notDetermined;
    case UserNotificationAuthorizationStatus::denied:
        return BerthkeepNotificationAuthorizationStatus::denied;
    case UserNotificationAuthorizationStatus::authorized:
    case UserNotificationAuthorizationStatus::provisional:
    case UserNotificationAuthorizationStatus::ephemeral:
        return BerthkeepNotificationAuthorizationStatus::authorized;
    }
    return BerthkeepNotificationAuthorizationStatus::authorized;
}

UserNotificationRequest LiveBerthkeepNotificationManager::sleepFailureRequest(
    const PendingSleepFailureNotification& notification) {
    UserNotificationRequest request;
    request.identifier = sleepFailureIdentifier;
    request.content.title = sleepFailureTitle;
    request.content.body = notification.bodyText();
    return request;
}

QCoro::Task<BerthkeepNotificationAuthorizationStatus>
LiveBerthkeepNotificationManager::authorizationStatus() {
    auto center = m_centerProvider ? m_centerProvider() : nullptr;
    if (!center) {
        return []() -> QCoro::Task<BerthkeepNotificationAuthorizationStatus> {
            co_return BerthkeepNotificationAuthorizationStatus::denied;
        }();
    }
    return readStatus(std::move(center));
}

QCoro::Task<BerthkeepNotificationAuthorizationStatus>
LiveBerthkeepNotificationManager::requestAuthorizationIfNeeded() {
    return requestIfNeeded(m_centerProvider ? m_centerProvider() : nullptr);
}

QCoro::Task<void> LiveBerthkeepNotificationManager::deliverSleepFailureNotification(
    PendingSleepFailureNotification notification) {
    return deliver(m_centerProvider ? m_centerProvider() : nullptr,
                   sleepFailureRequest(notification));
}

} // namespace berthkeep
