#include "platform/Notifications/FreedesktopNotificationCenter.hpp"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

#include <mutex>

namespace berthkeep {

FreedesktopNotificationCenter::FreedesktopNotificationCenter(QDBusConnection connection,
                                                             std::string applicationName,
                                                             int callTimeoutMs, QObject* parent)
    : QObject(parent)
    , m_connection(std::move(connection))
    , m_applicationName(std::move(applicationName))
    , m_callTimeoutMs(callTimeoutMs) {
    m_connection.connect(QString::fromLatin1(serviceName), QString::fromLatin1(objectPath),
                         QString::fromLatin1(interfaceName), QStringLiteral("NotificationClosed"),
                         this, SLOT(onNotificationClosed(uint, uint)));
}

void FreedesktopNotificationCenter::call(const QString& method, const QList<QVariant>& arguments,
                                         std::function<void(const QDBusMessage&)> handler) {
    auto message = QDBusMessage::createMethodCall(QString::fromLatin1(serviceName),
                                                  QString::fromLatin1(objectPath),
                                                  QString::fromLatin1(interfaceName), method);
    message.setArguments(arguments);
    const auto pending = m_connection.asyncCall(message, m_callTimeoutMs);
    auto* watcher = new QDBusPendingCallWatcher(pending, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [handler = std::move(handler)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                handler(finished->reply());
            });
}

void FreedesktopNotificationCenter::serviceAnswers(std::function<void(bool)> handler) {
    call(QStringLiteral("GetServerInformation"), {},
         [handler = std::move(handler)](const QDBusMessage& reply) {
             handler(reply.type() == QDBusMessage::ReplyMessage);
         });
}

void FreedesktopNotificationCenter::getNotificationSettings(
    std::function<void(UserNotificationSettings)> completionHandler) {
    serviceAnswers([completionHandler = std::move(completionHandler)](bool answers) {
        completionHandler({answers ? UserNotificationAuthorizationStatus::authorized
                                   : UserNotificationAuthorizationStatus::denied});
    });
}

void FreedesktopNotificationCenter::requestAuthorization(
    UserNotificationAuthorizationOptions,
    std::function<void(bool granted, std::exception_ptr error)> completionHandler) {
    // Nothing to ask: the service shows whatever it is sent.
    serviceAnswers([completionHandler = std::move(completionHandler)](bool answers) {
        completionHandler(answers, nullptr);
    });
}

void FreedesktopNotificationCenter::add(
    UserNotificationRequest request,
    std::function<void(std::exception_ptr error)> completionHandler) {
    const auto listed = m_listedIds.find(request.identifier);
    const uint replacesId = listed == m_listedIds.end() ? 0u : listed->second;
    std::string body = request.content.body;
    if (!request.content.subtitle.empty()) {
        body = request.content.subtitle + "\n" + body;
    }
    QVariantMap hints;
    if (!request.content.playsSound) {
        hints.insert(QStringLiteral("suppress-sound"), true);
    }
    const QList<QVariant> arguments{
        QString::fromStdString(m_applicationName),
        QVariant::fromValue(replacesId),
        QString(),
        QString::fromStdString(request.content.title),
        QString::fromStdString(body),
        QStringList(),
        hints,
        QVariant::fromValue(qint32(-1)),
    };
    QPointer<FreedesktopNotificationCenter> self(this);
    call(QStringLiteral("Notify"), arguments,
         [self, identifier = request.identifier,
          completionHandler = std::move(completionHandler)](const QDBusMessage& reply) {
             if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                 const auto description =
                     reply.errorMessage().isEmpty()
                         ? QStringLiteral("The notification service did not answer.")
                         : reply.errorMessage();
                 completionHandler(std::make_exception_ptr(UserNotificationError(
                     reply.errorName().isEmpty() ? std::string(serviceName)
                                                 : reply.errorName().toStdString(),
                     int(reply.type()), description.toStdString())));
                 return;
             }
             if (self) {
                 self->m_listedIds[identifier] = reply.arguments().constFirst().toUInt();
             }
             completionHandler(nullptr);
         });
}

void FreedesktopNotificationCenter::removeDeliveredNotifications(
    const std::vector<std::string>& identifiers) {
    for (const auto& identifier : identifiers) {
        const auto listed = m_listedIds.find(identifier);
        if (listed == m_listedIds.end()) {
            continue;
        }
        const uint id = listed->second;
        m_listedIds.erase(listed);
        call(QStringLiteral("CloseNotification"), {QVariant::fromValue(id)},
             [](const QDBusMessage&) {});
    }
}

void FreedesktopNotificationCenter::onNotificationClosed(uint id, uint) {
    std::erase_if(m_listedIds, [id](const auto& entry) { return entry.second == id; });
}

std::shared_ptr<UserNotificationCenter> currentUserNotificationCenter() {
    static std::mutex mutex;
    static std::shared_ptr<FreedesktopNotificationCenter> shared;
    std::lock_guard lock(mutex);
    if (shared) {
        return shared;
    }
    if (QCoreApplication::instance() == nullptr) {
        return nullptr;
    }
    auto bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return nullptr;
    }
    shared = std::make_shared<FreedesktopNotificationCenter>(bus);
    return shared;
}

} // namespace berthkeep
