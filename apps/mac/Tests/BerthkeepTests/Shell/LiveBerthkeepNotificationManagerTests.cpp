#include "Berthkeep/Shell/LiveBerthkeepNotificationManager.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "TaskDriver.hpp"
#include "platform/Notifications/SimulatedUserNotificationCenter.hpp"

namespace berthkeep {
namespace {

using test::runTask;
using Status = BerthkeepNotificationAuthorizationStatus;
using CenterStatus = UserNotificationAuthorizationStatus;

struct Fixture {
    explicit Fixture(CenterStatus status = CenterStatus::notDetermined)
        : center(std::make_shared<SimulatedUserNotificationCenter>(status))
        , manager(
              [center = center]() -> std::shared_ptr<UserNotificationCenter> { return center; }) {}

    std::shared_ptr<SimulatedUserNotificationCenter> center;
    LiveBerthkeepNotificationManager manager;
};

LiveBerthkeepNotificationManager managerWithoutCenter(int* providerCalls) {
    return LiveBerthkeepNotificationManager(
        [providerCalls]() -> std::shared_ptr<UserNotificationCenter> {
            ++*providerCalls;
            return nullptr;
        });
}

TEST(LiveBerthkeepNotificationManagerTest, AuthorizationStatusMapsEveryCentreStatus) {
    const std::vector<std::pair<CenterStatus, Status>> cases{
        {CenterStatus::notDetermined, Status::notDetermined},
        {CenterStatus::denied, Status::denied},
        {CenterStatus::authorized, Status::authorized},
        {CenterStatus::provisional, Status::authorized},
        {CenterStatus::ephemeral, Status::authorized},
    };
    for (const auto& [centerStatus, expected] : cases) {
        SCOPED_TRACE(toString(centerStatus));
        Fixture fixture(centerStatus);
        EXPECT_EQ(runTask(fixture.manager.authorizationStatus()), expected);
        EXPECT_EQ(fixture.center->settingsReadCount(), 1);
        EXPECT_TRUE(fixture.center->authorizationRequests().empty());
    }
}

TEST(LiveBerthkeepNotificationManagerTest, RequestAsksOnlyWhileUndecided) {
    for (const auto decided :
         {CenterStatus::denied, CenterStatus::authorized, CenterStatus::provisional}) {
        SCOPED_TRACE(toString(decided));
        Fixture fixture(decided);
        const auto status = runTask(fixture.manager.requestAuthorizationIfNeeded());
        EXPECT_EQ(status, LiveBerthkeepNotificationManager::mapAuthorizationStatus(decided));
        EXPECT_TRUE(fixture.center->authorizationRequests().empty());
        EXPECT_EQ(fixture.center->promptsShown(), 0);
    }
}

TEST(LiveBerthkeepNotificationManagerTest, UndecidedRequestAsksForAlertsAndReadsTheStatusAgain) {
    for (const auto answer : {CenterStatus::authorized, CenterStatus::denied}) {
        SCOPED_TRACE(toString(answer));
        Fixture fixture;
        fixture.center->setPromptAnswer(answer);
        const auto status = runTask(fixture.manager.requestAuthorizationIfNeeded());
        EXPECT_EQ(status, LiveBerthkeepNotificationManager::mapAuthorizationStatus(answer));
        ASSERT_EQ(fixture.center->authorizationRequests().size(), 1u);
        const UserNotificationAuthorizationOptions alertOnly{true, false, false};
        EXPECT_EQ(fixture.center->authorizationRequests()[0], alertOnly);
        EXPECT_EQ(fixture.center->settingsReadCount(), 2);
    }
}

TEST(LiveBerthkeepNotificationManagerTest, RequestErrorIsIgnored) {
    Fixture fixture;
    fixture.center->setPromptAnswer(CenterStatus::notDetermined);
    fixture.center->setRequestError(
        std::make_exception_ptr(UserNotificationError("test", 1, "prompt failed")));
    EXPECT_EQ(runTask(fixture.manager.requestAuthorizationIfNeeded()), Status::notDetermined);
}

TEST(LiveBerthkeepNotificationManagerTest, CompletionHandlersCalledInsideTheCallWork) {
    Fixture fixture;
    fixture.center->setCallsCompletionHandlersImmediately(true);
    EXPECT_EQ(runTask(fixture.manager.requestAuthorizationIfNeeded()), Status::authorized);
    runTask(fixture.manager.deliverSleepFailureNotification({2}));
    EXPECT_EQ(fixture.center->deliveredNotifications().size(), 1u);
}

TEST(LiveBerthkeepNotificationManagerTest, SleepFailureNotificationContent) {
    struct Case {
        std::int64_t count;
        const char* body;
    };
    for (const auto& c : std::vector<Case>{{1, "Couldn\u2019t eject 1 drive before sleep"},
                                           {3, "Couldn\u2019t eject 3 drives before sleep"}}) {
        SCOPED_TRACE(c.count);
        Fixture fixture(CenterStatus::authorized);
        runTask(fixture.manager.deliverSleepFailureNotification({c.count}));
        ASSERT_EQ(fixture.center->addedRequests().size(), 1u);
        UserNotificationRequest expected;
        expected.identifier = "berthkeep.sleep-failure";
        expected.content.title = "Berthkeep";
        expected.content.body = c.body;
        EXPECT_EQ(fixture.center->addedRequests()[0], expected);
    }
}

TEST(LiveBerthkeepNotificationManagerTest, ANewerDeliveryReplacesTheListedOne) {
    Fixture fixture(CenterStatus::authorized);
    runTask(fixture.manager.deliverSleepFailureNotification({1}));
    runTask(fixture.manager.deliverSleepFailureNotification({4}));
    ASSERT_EQ(fixture.center->deliveredNotifications().size(), 1u);
    EXPECT_EQ(fixture.center->deliveredNotifications()[0].content.body,
              "Couldn\u2019t eject 4 drives before sleep");
}

TEST(LiveBerthkeepNotificationManagerTest, DeliveryErrorIsThrownUnchanged) {
    Fixture fixture(CenterStatus::authorized);
    fixture.center->setAddError(
        std::make_exception_ptr(UserNotificationError("org.example.Error", 42, "service gone")));
    try {
        runTask(fixture.manager.deliverSleepFailureNotification({1}));
        FAIL() << "delivery must throw";
    } catch (const UserNotificationError& error) {
        EXPECT_EQ(error.domain(), "org.example.Error");
        EXPECT_EQ(error.code(), 42);
        EXPECT_STREQ(error.what(), "service gone");
    }
    EXPECT_TRUE(fixture.center->deliveredNotifications().empty());
}

TEST(LiveBerthkeepNotificationManagerTest, NoCentreMeansDeniedAndUnavailable) {
    int providerCalls = 0;
    auto manager = managerWithoutCenter(&providerCalls);
    EXPECT_EQ(runTask(manager.authorizationStatus()), Status::denied);
    EXPECT_EQ(runTask(manager.requestAuthorizationIfNeeded()), Status::denied);
    try {
        runTask(manager.deliverSleepFailureNotification({1}));
        FAIL() << "delivery must throw";
    } catch (const LiveBerthkeepNotificationManager::Error& error) {
        EXPECT_EQ(error.kind(), LiveBerthkeepNotificationManager::Error::Kind::unavailable);
    }
    // Asked afresh on every call.
    EXPECT_EQ(providerCalls, 3);
}

TEST(LiveBerthkeepNotificationManagerTest, OutsideAnApplicationBundleThereIsNoCentre) {
    // The test executable does not live in a ".app" folder.
    LiveBerthkeepNotificationManager manager;
    EXPECT_EQ(runTask(manager.requestAuthorizationIfNeeded()), Status::denied);
    EXPECT_THROW(runTask(manager.deliverSleepFailureNotification({1})),
                 LiveBerthkeepNotificationManager::Error);
}

TEST(LiveBerthkeepNotificationManagerTest, TheCentreIsAskedForOnEveryCall) {
    auto first = std::make_shared<SimulatedUserNotificationCenter>(CenterStatus::denied);
    std::shared_ptr<SimulatedUserNotificationCenter> current = first;
    LiveBerthkeepNotificationManager manager(
        [&current]() -> std::shared_ptr<UserNotificationCenter> { return current; });
    EXPECT_EQ(runTask(manager.authorizationStatus()), Status::denied);
    current = std::make_shared<SimulatedUserNotificationCenter>(CenterStatus::authorized);
    EXPECT_EQ(runTask(manager.authorizationStatus()), Status::authorized);
}

} // namespace
} // namespace berthkeep
