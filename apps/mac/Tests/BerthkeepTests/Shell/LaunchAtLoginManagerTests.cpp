#include "Berthkeep/Shell/LaunchAtLoginManager.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/LoginItems/SimulatedLoginItemService.hpp"

namespace berthkeep {
namespace {

using Call = SimulatedLoginItemService::Call;

struct RecordingSink : BerthkeepLogSink {
    void record(const BerthkeepLogEvent& event) override { events.push_back(event); }
    std::vector<BerthkeepLogEvent> events;
};

LaunchAtLoginManager::RuntimeContext packagedContext() {
    LaunchAtLoginManager::RuntimeContext context;
    context.bundlePath = "/opt/Berthkeep.app";
    context.executablePath = "/opt/Berthkeep.app/Contents/MacOS/Berthkeep";
    context.environment = {{"HOME", "/home/user"}};
    context.bundleIdentifier = "app.berthkeep.Berthkeep";
    return context;
}

LaunchAtLoginManager::RuntimeContext unpackagedContext() {
    auto context = packagedContext();
    context.bundlePath = "/src/.build/debug";
    context.executablePath = "/src/.build/debug/Berthkeep";
    return context;
}

struct Fixture {
    explicit Fixture(LaunchAtLoginManager::RuntimeContext context = packagedContext(),
                     LoginItemStatus status = LoginItemStatus::notRegistered)
        : sink(std::make_shared<RecordingSink>())
        , service(std::make_shared<SimulatedLoginItemService>(status))
        , manager(BerthkeepLogger(sink), std::move(context), service) {}

    std::shared_ptr<RecordingSink> sink;
    std::shared_ptr<SimulatedLoginItemService> service;
    LaunchAtLoginManager manager;
};

LoginItemError systemError() {
    return LoginItemError("BerthkeepLoginItemErrorDomain", 3, "The disk is read-only.");
}

TEST(LaunchAtLoginManagerTest, AvailabilityFollowsTheRuntimeContext) {
    struct Case {
        const char* name;
        std::string bundlePath;
        std::string executablePath;
        bool testsRunning;
        std::optional<std::string> reason;
    };
    const std::string testsReason = LaunchAtLoginManager::testsRunningReason;
    const std::string unpackaged = LaunchAtLoginManager::unpackagedReason;
    const std::vector<Case> cases{
        {"packaged bundle", "/opt/Berthkeep.app", "/opt/Berthkeep.app/Contents/MacOS/Berthkeep",
         false, std::nullopt},
        {"tests win over a packaged bundle", "/opt/Berthkeep.app",
         "/opt/Berthkeep.app/Contents/MacOS/Berthkeep", true, testsReason},
        {"executable outside Contents/MacOS", "/opt/Berthkeep.app", "/opt/Berthkeep.app/Berthkeep",
         false, unpackaged},
        {"bundle path without .app", "/opt/Berthkeep", "/opt/Berthkeep/Contents/MacOS/Berthkeep",
         false, unpackaged},
        {"no executable", "/opt/Berthkeep.app", "", false, unpackaged},
        {"development build", "/src/.build/debug", "/src/.build/debug/Berthkeep", false,
         unpackaged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto context = packagedContext();
        context.bundlePath = c.bundlePath;
        context.executablePath = c.executablePath;
        if (c.testsRunning) {
            context.environment.emplace("XCTestConfigurationFilePath", "");
        }
        Fixture fixture(context);
        EXPECT_EQ(fixture.manager.unavailableReason(), c.reason);
        EXPECT_EQ(fixture.manager.isAvailable(), !c.reason.has_value());
    }
    EXPECT_EQ(unpackaged, "Launch at Login is only available from a packaged Berthkeep.app bundle. "
                          "Development launches from .build would otherwise register "
                          "Terminal-backed login items.");
}

TEST(LaunchAtLoginManagerTest, EnableInAnUnsupportedRuntimeThrowsWithoutTouchingTheService) {
    auto context = packagedContext();
    context.environment.emplace("XCTestConfigurationFilePath", "/tmp/x");
    Fixture fixture(context);
    try {
        fixture.manager.enable();
        FAIL() << "enable() must throw";
    } catch (const LaunchAtLoginError& error) {
        EXPECT_EQ(error.kind(), LaunchAtLoginError::Kind::unsupportedRuntime);
        EXPECT_EQ(error.reason(), LaunchAtLoginManager::testsRunningReason);
        EXPECT_STREQ(error.what(), LaunchAtLoginManager::testsRunningReason);
    }
    EXPECT_TRUE(fixture.service->calls().empty());
    ASSERT_EQ(fixture.sink->events.size(), 1u);
    const auto& event = fixture.sink->events[0];
    EXPECT_EQ(event.level, BerthkeepLogLevel::notice);
    EXPECT_EQ(event.category, BerthkeepLogCategory::settings);
    EXPECT_EQ(event.name, "launch_at_login.enable.skipped.unsupported_runtime");
    EXPECT_EQ(event.message, "Skipped launch at login registration in unsupported runtime");
    const BerthkeepLogMetadata expected{
        {"reason", LaunchAtLoginManager::testsRunningReason},
        {"bundle_path", "/opt/Berthkeep.app"},
        {"executable_path", "/opt/Berthkeep.app/Contents/MacOS/Berthkeep"}};
    EXPECT_EQ(event.metadata, expected);
}

TEST(LaunchAtLoginManagerTest, EnableRegistersUnlessAlreadyEnabled) {
    struct Case {
        LoginItemStatus status;
        bool registers;
    };
    for (const auto& c : std::vector<Case>{{LoginItemStatus::notRegistered, true},
                                           {LoginItemStatus::requiresApproval, true},
                                           {LoginItemStatus::notFound, true},
                                           {LoginItemStatus::enabled, false}}) {
        SCOPED_TRACE(toString(c.status));
        Fixture fixture(packagedContext(), c.status);
        fixture.manager.enable();
        ASSERT_EQ(fixture.sink->events.size(), 1u);
        const auto& event = fixture.sink->events[0];
        if (c.registers) {
            EXPECT_EQ(fixture.service->changeCalls(), std::vector<Call>{Call::registerItem});
            EXPECT_EQ(event.level, BerthkeepLogLevel::notice);
            EXPECT_EQ(event.name, "launch_at_login.enabled");
            EXPECT_EQ(event.message, "App registered for launch at login");
        } else {
            EXPECT_TRUE(fixture.service->changeCalls().empty());
            EXPECT_EQ(event.level, BerthkeepLogLevel::debug);
            EXPECT_EQ(event.name, "launch_at_login.registration.skipped");
            EXPECT_EQ(event.message, "Launch at login already enabled");
        }
        EXPECT_TRUE(event.metadata.empty());
    }
}

TEST(LaunchAtLoginManagerTest, FailedRegistrationIsLoggedAndThrown) {
    Fixture fixture;
    fixture.service->setRegisterError(systemError());
    try {
        fixture.manager.enable();
        FAIL() << "enable() must throw";
    } catch (const LaunchAtLoginError& error) {
        EXPECT_EQ(error.kind(), LaunchAtLoginError::Kind::registrationFailed);
        ASSERT_NE(error.underlying(), nullptr);
        EXPECT_EQ(error.underlying()->code(), 3);
        EXPECT_EQ(error.errorDescription(),
                  "Failed to register app for launch at login: The disk is read-only.");
    }
    ASSERT_EQ(fixture.sink->events.size(), 1u);
    const auto& event = fixture.sink->events[0];
    EXPECT_EQ(event.level, BerthkeepLogLevel::error);
    EXPECT_EQ(event.name, "launch_at_login.enable.failed");
    EXPECT_EQ(event.message, "Failed to enable launch at login");
    const BerthkeepLogMetadata expected{{"error", "The disk is read-only."},
                                        {"error_domain", "BerthkeepLoginItemErrorDomain"},
                                        {"error_code", "3"},
                                        {"bundle_id", "app.berthkeep.Berthkeep"},
                                        {"bundle_path", "/opt/Berthkeep.app"}};
    EXPECT_EQ(event.metadata, expected);
}

TEST(LaunchAtLoginManagerTest, FailureLogNamesAnUnknownBundleIdentifier) {
    auto context = packagedContext();
    context.bundleIdentifier.reset();
    Fixture fixture(context);
    fixture.service->setRegisterError(systemError());
    EXPECT_THROW(fixture.manager.enable(), LaunchAtLoginError);
    ASSERT_EQ(fixture.sink->events.size(), 1u);
    EXPECT_EQ(fixture.sink->events[0].metadata.at("bundle_id"), "unknown");
}

TEST(LaunchAtLoginManagerTest, DisableUnregistersEnabledOrPendingItemsEvenWhenUnsupported) {
    for (const auto status : {LoginItemStatus::enabled, LoginItemStatus::requiresApproval}) {
        SCOPED_TRACE(toString(status));
        Fixture fixture(unpackagedContext(), status);
        fixture.manager.disable();
        EXPECT_EQ(fixture.service->changeCalls(), std::vector<Call>{Call::unregisterItem});
        ASSERT_EQ(fixture.sink->events.size(), 1u);
        EXPECT_EQ(fixture.sink->events[0].level, BerthkeepLogLevel::notice);
        EXPECT_EQ(fixture.sink->events[0].name, "launch_at_login.disabled");
        EXPECT_EQ(fixture.sink->events[0].message, "App unregistered for launch at login");
    }
}

TEST(LaunchAtLoginManagerTest, DisableOfAnUnregisteredItemReturnsQuietly) {
    for (const auto status : {LoginItemStatus::notRegistered, LoginItemStatus::notFound}) {
        SCOPED_TRACE(toString(status));
        Fixture fixture(packagedContext(), status);
        fixture.manager.disable();
        EXPECT_TRUE(fixture.service->changeCalls().empty());
        ASSERT_EQ(fixture.sink->events.size(), 1u);
        const auto& event = fixture.sink->events[0];
        EXPECT_EQ(event.level, BerthkeepLogLevel::debug);
        EXPECT_EQ(event.name, "launch_at_login.unregistration.skipped");
        EXPECT_EQ(event.message, "Launch at login not currently enabled or pending");
        EXPECT_EQ(event.metadata, (BerthkeepLogMetadata{{"current_status", toString(status)}}));
    }
}

TEST(LaunchAtLoginManagerTest, FailedUnregistrationIsLoggedAndThrown) {
    Fixture fixture(packagedContext(), LoginItemStatus::enabled);
    fixture.service->setUnregisterError(systemError());
    try {
        fixture.manager.disable();
        FAIL() << "disable() must throw";
    } catch (const LaunchAtLoginError& error) {
        EXPECT_EQ(error.kind(), LaunchAtLoginError::Kind::unregistrationFailed);
        EXPECT_EQ(error.errorDescription(),
                  "Failed to unregister app from launch at login: The disk is read-only.");
    }
    ASSERT_EQ(fixture.sink->events.size(), 1u);
    EXPECT_EQ(fixture.sink->events[0].level, BerthkeepLogLevel::error);
    EXPECT_EQ(fixture.sink->events[0].name, "launch_at_login.disable.failed");
    EXPECT_EQ(fixture.sink->events[0].message, "Failed to disable launch at login");
    EXPECT_EQ(fixture.sink->events[0].metadata,
              (BerthkeepLogMetadata{{"error", "The disk is read-only."}}));
}

TEST(LaunchAtLoginErrorTest, EveryCaseHasItsTexts) {
    const std::string loginItems =
        "Please check System Settings > General > Login Items and try again, or contact support.";
    const auto registration = LaunchAtLoginError::registrationFailed(systemError());
    EXPECT_EQ(registration.failureReason(),
              "The system could not register the app to launch at login.");
    EXPECT_EQ(registration.recoverySuggestion(), loginItems);
    EXPECT_EQ(registration.localizedDescription(), registration.errorDescription());

    const auto unregistration = LaunchAtLoginError::unregistrationFailed(systemError());
    EXPECT_EQ(unregistration.failureReason(),
              "The system could not unregister the app from launching at login.");
    EXPECT_EQ(unregistration.recoverySuggestion(), loginItems);

    const auto unsupported = LaunchAtLoginError::unsupportedRuntime("Not here.");
    EXPECT_EQ(unsupported.errorDescription(), "Not here.");
    EXPECT_EQ(unsupported.failureReason(),
              "Launch at Login is unavailable in the current Berthkeep runtime.");
    EXPECT_EQ(unsupported.recoverySuggestion(),
              "Open the packaged Berthkeep.app bundle to manage Login Items.");
    EXPECT_EQ(unsupported.underlying(), nullptr);
}

} // namespace
} // namespace berthkeep
