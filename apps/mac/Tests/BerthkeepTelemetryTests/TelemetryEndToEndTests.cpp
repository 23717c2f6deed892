// Passes through the built core library and helper to a loopback HTTP server.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <nlohmann/json.hpp>

#include <chrono>

#include "BerthkeepTelemetry/BerthkeepTelemetryController.hpp"
#include "BerthkeepTelemetry/BerthkeepTelemetryWorkQueue.hpp"
#include "TaskDriver.hpp"
#include "TelemetryLoopbackServer.hpp"
#include "TelemetryTestSupport.hpp"

#if defined(BERTHKEEP_CORE_LIBRARY_PATH) && defined(BERTHKEEP_CORE_BRIDGE_PATH)

using namespace berthkeep;
using namespace berthkeep::test;
using nlohmann::json;

namespace {

enum class Route { library, helper };

std::shared_ptr<RustBerthkeepTelemetryTransport> transportFor(Route route) {
    if (route == Route::library) {
        return std::make_shared<DynamicLibraryRustBerthkeepTelemetryTransport>(
            BERTHKEEP_CORE_LIBRARY_PATH);
    }
    // Past what a loaded machine takes to start the instrumented helper.
    return std::make_shared<ProcessRustBerthkeepTelemetryTransport>(BERTHKEEP_CORE_BRIDGE_PATH,
                                                                    std::chrono::seconds(30));
}

// Records what the core returned, then hands the answer on unchanged.
class TappedTransport final : public RustBerthkeepTelemetryTransport {
public:
    explicit TappedTransport(std::shared_ptr<RustBerthkeepTelemetryTransport> inner)
        : m_inner(std::move(inner)) {}
    std::string call(const std::string& standardInput) override {
        auto answer = m_inner->call(standardInput);
        std::lock_guard lock(m_mutex);
        m_answers.push_back(answer);
        return answer;
    }
    std::string lastAnswer() const {
        std::lock_guard lock(m_mutex);
        return m_answers.empty() ? std::string() : m_answers.back();
    }

private:
    std::shared_ptr<RustBerthkeepTelemetryTransport> m_inner;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_answers;
};

struct EndToEnd {
    EndToEnd(Route route, const std::string& apiBaseURL, bool consent) {
        tap = std::make_shared<TappedTransport>(transportFor(route));
        store = std::make_shared<FileBerthkeepTelemetryQueueStore>("com.example",
                                                                   folder.path().toStdString());
        auto config = BerthkeepTelemetryConfiguration::resolve({}, {}, "com.example", false);
        config.apiBaseURL = apiBaseURL;
        config.appID = "loopback-app";
        config.appKey = "loopback-key";
        BerthkeepTelemetryController::Options options;
        options.workQueue = std::make_shared<BerthkeepTelemetryWorkQueue>("test.telemetry");
        controller = std::make_unique<BerthkeepTelemetryController>(
            config, RustBerthkeepTelemetryBridge(tap), store, BerthkeepLogger(sink), "9.9",
            BerthkeepTelemetryConsent{consent}, options);
    }

    QTemporaryDir folder;
    std::shared_ptr<TappedTransport> tap;
    std::shared_ptr<FileBerthkeepTelemetryQueueStore> store;
    std::shared_ptr<RecordingLogSink> sink = std::make_shared<RecordingLogSink>();
    std::unique_ptr<BerthkeepTelemetryController> controller;
};

class TelemetryEndToEnd : public ::testing::TestWithParam<Route> {};

} // namespace

TEST_P(TelemetryEndToEnd, PassReachesTheLoopbackServerAndTheFileHoldsWhatTheCoreReturned) {
    TelemetryLoopbackServer server;
    EndToEnd setup(GetParam(), server.baseURL(), true);

    runTask(setup.controller->recordOperational("app_started"), std::chrono::seconds(30));
    EXPECT_TRUE(setup.sink->named("telemetry.processing.failed").empty());
    EXPECT_TRUE(setup.sink->named("telemetry.upload.failed").empty());

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/v1/events");
    EXPECT_EQ(requests[0].headers.at("x-berthkeep-app-id"), "loopback-app");
    EXPECT_EQ(requests[0].headers.at("x-berthkeep-app-key"), "loopback-key");
    const auto body = json::parse(requests[0].body);
    ASSERT_EQ(body["events"].size(), 1u);
    EXPECT_EQ(body["events"][0]["name"], "app_started");
    EXPECT_EQ(body["events"][0]["app_version"], "9.9");

    // The file is exactly the queue the core returned.
    const auto returned = RustBerthkeepTelemetryBridge::decodeResponse(setup.tap->lastAnswer());
    EXPECT_EQ(returned.uploadedEvents, 1);
    EXPECT_EQ(setup.store->load(), returned.queue);
    EXPECT_TRUE(returned.queue.items.empty());
    EXPECT_TRUE(returned.queue.nextFlushAt.has_value());
    EXPECT_TRUE(returned.queue.installID.has_value());

    // Not due yet: the next event waits in the file, under the same identifiers.
    runTask(setup.controller->recordAnonymousImprovement("full_monitoring_toggled",
                                                         {{"enabled", "true"}}),
            std::chrono::seconds(30));
    EXPECT_EQ(server.requests().size(), 1u);
    const auto saved = setup.store->load();
    ASSERT_EQ(saved.items.size(), 1u);
    EXPECT_EQ(saved.items[0].name, "full_monitoring_toggled");
    EXPECT_EQ(saved.items[0].installID, *returned.queue.installID);
    EXPECT_EQ(saved, RustBerthkeepTelemetryBridge::decodeResponse(setup.tap->lastAnswer()).queue);
}

TEST_P(TelemetryEndToEnd, FailedUploadKeepsTheEventsAndBacksOff) {
    TelemetryLoopbackServer server(503);
    EndToEnd setup(GetParam(), server.baseURL(), true);
    runTask(setup.controller->recordOperational("app_started"), std::chrono::seconds(30));

    EXPECT_EQ(server.requests().size(), 1u);
    const auto saved = setup.store->load();
    EXPECT_EQ(saved.items.size(), 1u);
    EXPECT_EQ(saved.consecutiveFailures, 1u);
    const auto failed = setup.sink->named("telemetry.upload.failed");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].metadata.at("error"), "upload failed with HTTP status 503");

    // Within the back-off nothing is sent, even on a flush.
    runTask(setup.controller->flushIfNeeded(), std::chrono::seconds(30));
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_P(TelemetryEndToEnd, WithoutConsentAnonymousEventsAreDropped) {
    TelemetryLoopbackServer server;
    EndToEnd setup(GetParam(), server.baseURL(), false);
    runTask(setup.controller->recordAnonymousImprovement("supplemental_signals_toggled",
                                                         {{"enabled", "false"}}),
            std::chrono::seconds(30));
    const auto returned = RustBerthkeepTelemetryBridge::decodeResponse(setup.tap->lastAnswer());
    EXPECT_EQ(returned.droppedNewEvents, 1);
    EXPECT_TRUE(setup.store->load().items.empty());
    EXPECT_TRUE(server.requests().empty());
}

TEST_P(TelemetryEndToEnd, WithoutAnEndpointEventsWaitAndOneNoticeSaysSo) {
    EndToEnd setup(GetParam(), "", true);
    runTask(setup.controller->recordOperational("app_started"), std::chrono::seconds(30));
    runTask(setup.controller->recordOperational("app_version_reported"), std::chrono::seconds(30));
    runTask(setup.controller->flushIfNeeded(), std::chrono::seconds(30));

    EXPECT_TRUE(setup.sink->named("telemetry.upload.failed").empty());
    EXPECT_TRUE(setup.sink->named("telemetry.processing.failed").empty());
    const auto notices = setup.sink->named("telemetry.upload.skipped");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].level, BerthkeepLogLevel::notice);
    EXPECT_EQ(notices[0].metadata.at("queued_events"), "1");
    const auto saved = setup.store->load();
    EXPECT_EQ(saved.items.size(), 2u);
    EXPECT_EQ(saved.consecutiveFailures, 0u);
}

INSTANTIATE_TEST_SUITE_P(Routes, TelemetryEndToEnd,
                         ::testing::Values(Route::library, Route::helper),
                         [](const ::testing::TestParamInfo<Route>& info) {
                             return info.param == Route::library ? std::string("Library")
                                                                 : std::string("Helper");
                         });

#endif
