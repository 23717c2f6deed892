#include "Berthkeep/Shell/BerthkeepUpdaterController.hpp"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "platform/Activation/RecordingApplicationActivation.hpp"
#include "platform/Notifications/SimulatedUserNotificationCenter.hpp"

namespace berthkeep {
namespace {

using Info = PropertyListValue::Dictionary;
using Call = RecordingApplicationActivation::Call;

// Steps, in order: "check" (the user's), "schedule", "user"/"scheduled" (an
// update shown after that kind of check), "attention", "finish" (the session),
// "cycle".
void run(const std::string& steps, BerthkeepUpdaterController& controller,
         SoftwareUpdaterDelegate& delegate) {
    const SoftwareUpdateItem update{"2.0"};
    // clang-format off
    const std::map<std::string, std::function<void()>> actions{
        {"check", [&] { controller.checkForUpdates(); }},
        {"schedule", [&] { delegate.willScheduleUpdateCheckAfterDelay(std::chrono::hours(1)); }},
        {"user", [&] { delegate.willHandleShowingUpdate(true, update, {true}); }},
        {"scheduled", [&] { delegate.willHandleShowingUpdate(true, update, {false}); }},
        {"attention", [&] { delegate.didReceiveUserAttention(update); }},
        {"finish", [&] { delegate.willFinishUpdateSession(); }},
        {"cycle", [&] { delegate.didFinishUpdateCycle(nullptr); }},
    };
    // clang-format on
    std::istringstream words(steps);
    for (std::string step; words >> step;) {
        actions.at(step)();
    }
}

TEST(BerthkeepUpdaterController, ForegroundAndReminderFollowTheUpdateSession) {
    const std::string feed = "https://example.com/appcast.xml";
    const Info configured{{"SUFeedURL", feed}, {"SUPublicEDKey", std::string("key")}};
    const UserNotificationRequest reminder{
        "berthkeep.sparkle-update",
        {"A new update is available", "", "Version 2.0 is now available", false, {}}};
    struct Case {
        Info info;
        bool hasCenter;
        const char* steps;
        std::vector<Call> activation;
        const char* badgeLabels; // "-" for none
        std::size_t posted;
        std::size_t withdrawn;
    };
    // clang-format off
    const Case cases[] = {
        {{}, true, "check", {}, "", 0, 0},
        {{{"SUFeedURL", feed}}, true, "check", {}, "", 0, 0},
        {{{"SUFeedURL", feed}, {"SUPublicEDKey", std::string()}}, true, "check", {}, "", 0, 0},
        {configured, true, "check user", {Call::setRegular, Call::activate}, "", 0, 0},
        {configured, true, "schedule scheduled", {Call::setRegular}, "1", 1, 0},
        {configured, true, "scheduled attention finish cycle",
         {Call::setRegular, Call::setAccessory}, "1 - -", 1, 2},
        {configured, true, "check user scheduled cycle finish",
         {Call::setRegular, Call::activate, Call::setAccessory}, "1 -", 1, 1},
        {configured, false, "scheduled", {Call::setRegular}, "1", 0, 0},
    };
    // clang-format on
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.steps);
        auto activation = std::make_shared<RecordingApplicationActivation>();
        auto center = std::make_shared<SimulatedUserNotificationCenter>();
        center->setCallsCompletionHandlersImmediately(true);
        std::string labels;
        auto bridge = std::make_shared<BerthkeepUpdaterForegroundPresentationBridge>(
            std::make_shared<BerthkeepForegroundPresentationCoordinator>(activation),
            testCase.hasCenter ? center : nullptr, BerthkeepLogger(nullptr), nullptr,
            [&labels](const std::optional<std::string>& label) {
                labels += (labels.empty() ? "" : " ") + label.value_or("-");
            });
        std::shared_ptr<AbsentSoftwareUpdater> made;
        std::weak_ptr<SoftwareUpdaterDelegate> delegate;
        BerthkeepUpdaterController controller(
            testCase.info,
            [&](std::weak_ptr<SoftwareUpdaterDelegate> given) {
                delegate = given;
                return made = std::make_shared<AbsentSoftwareUpdater>();
            },
            bridge);

        const bool started = !testCase.activation.empty();
        EXPECT_EQ(controller.isUpdateCommandAvailable(), started);
        ASSERT_EQ(made != nullptr, started);
        if (made) {
            EXPECT_TRUE(made->isStarted() && made->automaticallyChecks());
            ASSERT_EQ(delegate.lock(), bridge);
        }
        const std::string steps = testCase.steps;
        run(steps, controller, *bridge);
        if (made) {
            EXPECT_EQ(made->checkRequests(), steps.starts_with("check") ? 1 : 0);
        }

        EXPECT_EQ(activation->calls(), testCase.activation);
        EXPECT_EQ(labels, testCase.badgeLabels);
        EXPECT_EQ(center->addedRequests(),
                  std::vector<UserNotificationRequest>(testCase.posted, reminder));
        EXPECT_EQ(center->removalRequests(),
                  std::vector<std::vector<std::string>>(testCase.withdrawn, {reminder.identifier}));
        const bool asked = testCase.hasCenter && steps.starts_with("schedule ");
        EXPECT_EQ(
            center->authorizationRequests(),
            std::vector<UserNotificationAuthorizationOptions>(asked ? 1 : 0, {true, true, true}));
    }
}

} // namespace
} // namespace berthkeep
