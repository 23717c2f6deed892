#include "platform/Notifications/FreedesktopNotificationCenter.hpp"

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QStandardPaths>

#include <optional>

#include "TaskDriver.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;

// A notification server on a private bus; records what it is sent.
class FakeNotificationServer : public QDBusVirtualObject {
public:
    struct Notification {
        QString applicationName;
        uint replacesId = 0;
        QString summary;
        QString body;
        QVariantMap hints;
        int expireTimeout = 0;
    };

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const auto member = message.member();
        const auto arguments = message.arguments();
        if (member == QStringLiteral("GetServerInformation")) {
            connection.send(message.createReply(
                QList<QVariant>{QStringLiteral("fake"), QStringLiteral("berthkeep"),
                                QStringLiteral("1"), QStringLiteral("1.2")}));
            return true;
        }
        if (member == QStringLiteral("Notify") && arguments.size() == 8) {
            if (failNotify) {
                connection.send(
                    message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Failed"),
                                             QStringLiteral("no room")));
                return true;
            }
            Notification notification;
            notification.applicationName = arguments[0].toString();
            notification.replacesId = arguments[1].toUInt();
            notification.summary = arguments[3].toString();
            notification.body = arguments[4].toString();
            notification.hints = qdbus_cast<QVariantMap>(arguments[6]);
            notification.expireTimeout = arguments[7].toInt();
            received.push_back(notification);
            const uint id = notification.replacesId != 0 ? notification.replacesId : ++lastId;
            connection.send(message.createReply(QVariant::fromValue(id)));
            return true;
        }
        if (member == QStringLiteral("CloseNotification") && arguments.size() == 1) {
            closed.push_back(arguments[0].toUInt());
            connection.send(message.createReply());
            emitClosed(connection, arguments[0].toUInt());
            return true;
        }
        return false;
    }

    void emitClosed(const QDBusConnection& connection, uint id) {
        auto signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                 QStringLiteral("org.freedesktop.Notifications"),
                                                 QStringLiteral("NotificationClosed"));
        signal << id << uint(3);
        QDBusConnection(connection).send(signal);
    }

    bool failNotify = false;
    uint lastId = 40;
    std::vector<Notification> received;
    std::vector<uint> closed;
};

class NotificationsFreedesktopCenterTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) {
            GTEST_SKIP() << "dbus-daemon is not installed";
        }
        m_daemon.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                QStringLiteral("--print-address")});
        ASSERT_TRUE(m_daemon.waitForStarted(5000));
        ASSERT_TRUE(test::processEventsUntil([this] { return m_daemon.canReadLine(); }, 5000ms));
        const auto address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        m_server = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address, QStringLiteral("berthkeep-test-server")));
        m_client = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address, QStringLiteral("berthkeep-test-client")));
        ASSERT_TRUE(m_server->isConnected());
        ASSERT_TRUE(m_client->isConnected());
        ASSERT_TRUE(m_server->registerVirtualObject(
            QStringLiteral("/org/freedesktop/Notifications"), &server));
        center = std::make_unique<FreedesktopNotificationCenter>(*m_client, "Berthkeep", 3000);
    }

    void TearDown() override {
        center.reset();
        m_client.reset();
        m_server.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("berthkeep-test-client"));
        QDBusConnection::disconnectFromBus(QStringLiteral("berthkeep-test-server"));
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.kill();
            m_daemon.waitForFinished(5000);
        }
    }

    void startService() {
        ASSERT_TRUE(m_server->registerService(QStringLiteral("org.freedesktop.Notifications")));
    }

    UserNotificationSettings readSettings() {
        std::optional<UserNotificationSettings> settings;
        center->getNotificationSettings(
            [&settings](UserNotificationSettings value) { settings = value; });
        EXPECT_TRUE(test::processEventsUntil([&settings] { return settings.has_value(); }));
        return settings.value_or(UserNotificationSettings{});
    }

    std::exception_ptr add(const std::string& identifier, const std::string& body) {
        UserNotificationRequest request;
        request.identifier = identifier;
        request.content.title = "Berthkeep";
        request.content.body = body;
        bool done = false;
        std::exception_ptr result;
        center->add(request, [&done, &result](std::exception_ptr error) {
            done = true;
            result = error;
        });
        EXPECT_TRUE(test::processEventsUntil([&done] { return done; }));
        return result;
    }

    FakeNotificationServer server;
    std::unique_ptr<FreedesktopNotificationCenter> center;

private:
    QProcess m_daemon;
    std::unique_ptr<QDBusConnection> m_server;
    std::unique_ptr<QDBusConnection> m_client;
};

TEST_F(NotificationsFreedesktopCenterTest, AuthorizedOnlyWhileTheServiceAnswers) {
    EXPECT_EQ(readSettings().authorizationStatus, UserNotificationAuthorizationStatus::denied);
    startService();
    EXPECT_EQ(readSettings().authorizationStatus, UserNotificationAuthorizationStatus::authorized);

    std::optional<bool> granted;
    center->requestAuthorization({true, false, false},
                                 [&granted](bool value, std::exception_ptr) { granted = value; });
    ASSERT_TRUE(test::processEventsUntil([&granted] { return granted.has_value(); }));
    EXPECT_TRUE(*granted);
}

TEST_F(NotificationsFreedesktopCenterTest, PostsAndReplacesByIdentifier) {
    startService();
    EXPECT_EQ(add("berthkeep.sleep-failure", "Couldn\u2019t eject 1 drive before sleep"), nullptr);
    EXPECT_EQ(add("berthkeep.sleep-failure", "Couldn\u2019t eject 2 drives before sleep"), nullptr);
    EXPECT_EQ(add("other", "x"), nullptr);
    ASSERT_EQ(server.received.size(), 3u);
    const auto& first = server.received[0];
    EXPECT_EQ(first.applicationName, QStringLiteral("Berthkeep"));
    EXPECT_EQ(first.replacesId, 0u);
    EXPECT_EQ(first.summary, QStringLiteral("Berthkeep"));
    EXPECT_EQ(first.body, QStringLiteral("Couldn\u2019t eject 1 drive before sleep"));
    EXPECT_EQ(first.hints.value(QStringLiteral("suppress-sound")), QVariant(true));
    EXPECT_EQ(first.expireTimeout, -1);
    EXPECT_EQ(server.received[1].replacesId, 41u);
    EXPECT_EQ(server.received[2].replacesId, 0u);
}

TEST_F(NotificationsFreedesktopCenterTest, RemovalClosesTheListedNotification) {
    startService();
    ASSERT_EQ(add("berthkeep.sleep-failure", "one"), nullptr);
    center->removeDeliveredNotifications({"berthkeep.sleep-failure", "never-posted"});
    ASSERT_TRUE(test::processEventsUntil([this] { return !server.closed.empty(); }));
    EXPECT_EQ(server.closed, std::vector<uint>{41});
    ASSERT_EQ(add("berthkeep.sleep-failure", "two"), nullptr);
    EXPECT_EQ(server.received.back().replacesId, 0u);
}

TEST_F(NotificationsFreedesktopCenterTest, NotificationsClosedByTheServerAreNotReplaced) {
    startService();
    ASSERT_EQ(add("berthkeep.sleep-failure", "one"), nullptr);
    // The user dismissed it: the next one is new.
    server.emitClosed(QDBusConnection(QStringLiteral("berthkeep-test-server")), 41);
    test::processEventsFor(200ms);
    ASSERT_EQ(add("berthkeep.sleep-failure", "two"), nullptr);
    EXPECT_EQ(server.received.back().replacesId, 0u);
}

TEST_F(NotificationsFreedesktopCenterTest, ServiceErrorsReachTheCaller) {
    startService();
    server.failNotify = true;
    const auto error = add("berthkeep.sleep-failure", "one");
    ASSERT_NE(error, nullptr);
    try {
        std::rethrow_exception(error);
    } catch (const UserNotificationError& failure) {
        EXPECT_EQ(failure.domain(), "org.freedesktop.DBus.Error.Failed");
        EXPECT_STREQ(failure.what(), "no room");
    }
}

TEST_F(NotificationsFreedesktopCenterTest, AMissingServiceFailsTheDelivery) {
    const auto error = add("berthkeep.sleep-failure", "one");
    EXPECT_NE(error, nullptr);
    EXPECT_TRUE(server.received.empty());
}

} // namespace
} // namespace berthkeep
