#include "platform/Notifications/SimulatedUserNotificationCenter.hpp"

#include <gtest/gtest.h>

#include "TaskDriver.hpp"

namespace berthkeep {
namespace {

using Status = UserNotificationAuthorizationStatus;

UserNotificationRequest request(const std::string& identifier, const std::string& body) {
    UserNotificationRequest result;
    result.identifier = identifier;
    result.content.title = "Berthkeep";
    result.content.body = body;
    return result;
}

TEST(NotificationsSimulatedCenterTest, CompletionHandlersRunOnALaterTurn) {
    SimulatedUserNotificationCenter center(Status::provisional);
    std::optional<UserNotificationSettings> settings;
    center.getNotificationSettings(
        [&settings](UserNotificationSettings value) { settings = value; });
    EXPECT_FALSE(settings.has_value());
    test::processQueuedEvents();
    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(settings->authorizationStatus, Status::provisional);

    center.setCallsCompletionHandlersImmediately(true);
    settings.reset();
    center.getNotificationSettings(
        [&settings](UserNotificationSettings value) { settings = value; });
    EXPECT_TRUE(settings.has_value());
    EXPECT_EQ(center.settingsReadCount(), 2);
}

TEST(NotificationsSimulatedCenterTest, OnlyAnUndecidedUserIsPrompted) {
    SimulatedUserNotificationCenter center;
    center.setCallsCompletionHandlersImmediately(true);
    center.setPromptAnswer(Status::denied);
    std::vector<bool> granted;
    const auto record = [&granted](bool value, std::exception_ptr) {
        granted.push_back(value);
    };
    center.requestAuthorization({true, false, false}, record);
    center.setPromptAnswer(Status::authorized);
    center.requestAuthorization({true, true, true}, record);
    EXPECT_EQ(granted, (std::vector<bool>{false, false}));
    EXPECT_EQ(center.promptsShown(), 1);
    EXPECT_EQ(center.authorizationStatus(), Status::denied);
    ASSERT_EQ(center.authorizationRequests().size(), 2u);
    EXPECT_EQ(center.authorizationRequests()[1],
              (UserNotificationAuthorizationOptions{true, true, true}));
}

TEST(NotificationsSimulatedCenterTest, RecordsDeliveriesReplacementsAndRemovals) {
    SimulatedUserNotificationCenter center(Status::authorized);
    center.setCallsCompletionHandlersImmediately(true);
    int failures = 0;
    const auto count = [&failures](std::exception_ptr error) {
        failures += error ? 1 : 0;
    };
    center.add(request("a", "one"), count);
    center.add(request("b", "two"), count);
    center.add(request("a", "three"), count);
    ASSERT_EQ(center.deliveredNotifications().size(), 2u);
    EXPECT_EQ(center.deliveredNotifications()[0], request("a", "three"));
    EXPECT_EQ(center.addedRequests().size(), 3u);

    center.removeDeliveredNotifications({"a", "missing"});
    ASSERT_EQ(center.deliveredNotifications().size(), 1u);
    EXPECT_EQ(center.deliveredNotifications()[0].identifier, "b");
    EXPECT_EQ(center.removalRequests(), (std::vector<std::vector<std::string>>{{"a", "missing"}}));

    center.setAddError(std::make_exception_ptr(UserNotificationError("d", 1, "no")));
    center.add(request("c", "four"), count);
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(center.deliveredNotifications().size(), 1u);
}

} // namespace
} // namespace berthkeep
