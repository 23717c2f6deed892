#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPointer>

#include <map>
#include <memory>
#include <string>

#include "platform/Notifications/UserNotificationCenter.hpp"

namespace berthkeep {

// The desktop session's notification service (org.freedesktop.Notifications on
// the session bus). That service has no permission model: while it answers, the
// status is authorized, otherwise denied, and a request for authorisation shows
// nothing. Identifiers map to the service's numeric ids so that a newer
// request replaces the one still listed under the same identifier. Calls are
// asynchronous, each with a deadline.
class FreedesktopNotificationCenter final : public QObject, public UserNotificationCenter {
    Q_OBJECT

public:
    static constexpr const char* serviceName = "org.freedesktop.Notifications";
    static constexpr const char* objectPath = "/org/freedesktop/Notifications";
    static constexpr const char* interfaceName = "org.freedesktop.Notifications";
    static constexpr int defaultCallTimeoutMs = 5000;

    explicit FreedesktopNotificationCenter(QDBusConnection connection,
                                           std::string applicationName = "Berthkeep",
                                           int callTimeoutMs = defaultCallTimeoutMs,
                                           QObject* parent = nullptr);

    void getNotificationSettings(
        std::function<void(UserNotificationSettings)> completionHandler) override;
    void requestAuthorization(
        UserNotificationAuthorizationOptions options,
        std::function<void(bool granted, std::exception_ptr error)> completionHandler) override;
    void add(UserNotificationRequest request,
             std::function<void(std::exception_ptr error)> completionHandler) override;
    void removeDeliveredNotifications(const std::vector<std::string>& identifiers) override;

private slots:
    void onNotificationClosed(uint id, uint reason);

private:
    // Calls the service; the handler gets the reply (or the error reply).
    void call(const QString& method, const QList<QVariant>& arguments,
              std::function<void(const QDBusMessage&)> handler);
    void serviceAnswers(std::function<void(bool)> handler);

    QDBusConnection m_connection;
    std::string m_applicationName;
    int m_callTimeoutMs;
    std::map<std::string, uint> m_listedIds;
};

// The session's notification centre, shared; nothing when there is no session bus.
std::shared_ptr<UserNotificationCenter> currentUserNotificationCenter();

} // namespace berthkeep
