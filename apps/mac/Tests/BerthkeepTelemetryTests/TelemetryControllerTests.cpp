#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "BerthkeepShared/ManualClock.hpp"
#include "BerthkeepTelemetry/BerthkeepTelemetryController.hpp"
#include "BerthkeepTelemetry/BerthkeepTelemetryWorkQueue.hpp"
#include "CoroutineAssertions.hpp"
#include "FullFileSystem.hpp"
#include "TaskDriver.hpp"
#include "TelemetryTestSupport.hpp"

using namespace berthkeep;
using namespace berthkeep::test;
using namespace std::chrono_literals;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream stream(path);
    std::stringstream buffer;
    buffer << stream.rdbuf();
    return buffer.str();
}

BerthkeepTelemetryEvent storedEvent(std::string id, BerthkeepTelemetryCategory category) {
    BerthkeepTelemetryEvent event;
    event.eventID = std::move(id);
    event.name = "stored";
    event.category = category;
    event.installID = "STORED-I";
    event.sessionID = "STORED-S";
    event.appVersion = "1";
    return event;
}

struct Fixture {
    explicit Fixture(std::shared_ptr<RustBerthkeepTelemetryTransport> transport = nullptr,
                     std::int64_t flushInterval = 60, std::shared_ptr<Executor> workQueue = nullptr,
                     std::optional<std::string> storeFolder = std::nullopt) {
        if (!transport) {
            fake = std::make_shared<FakeTelemetryTransport>();
            transport = fake;
        }
        store = std::make_shared<FileBerthkeepTelemetryQueueStore>(
            "com.example", storeFolder.value_or(folder.path().toStdString()));
        auto config = BerthkeepTelemetryConfiguration::resolve({}, {}, "com.example", false);
        config.flushIntervalSeconds = flushInterval;
        config.appKey = "secret-app-key";
        BerthkeepTelemetryController::Options options;
        options.clock = clock;
        options.workQueue = workQueue ? workQueue : std::make_shared<InlineExecutor>();
        options.wallClock = [] {
            return std::int64_t(1'700'000'000);
        };
        options.operatingSystemMajorVersion = 12;
        controller = std::make_unique<BerthkeepTelemetryController>(
            config, RustBerthkeepTelemetryBridge(transport), store, BerthkeepLogger(sink), "1.2.3",
            BerthkeepTelemetryConsent{true}, options);
    }

    QTemporaryDir folder;
    std::shared_ptr<FakeTelemetryTransport> fake;
    std::shared_ptr<FileBerthkeepTelemetryQueueStore> store;
    std::shared_ptr<RecordingLogSink> sink = std::make_shared<RecordingLogSink>();
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::unique_ptr<BerthkeepTelemetryController> controller;
};

QCoro::Task<void> recordSeveral(BerthkeepTelemetryController* controller, int count) {
    std::vector<QCoro::Task<void>> tasks;
    for (int index = 0; index < count; ++index) {
        tasks.push_back(controller->recordOperational("event_" + std::to_string(index)));
    }
    for (auto& task : tasks) {
        co_await task;
    }
}

} // namespace

TEST(TelemetryController, RecordRunsOnePassAndSavesTheReturnedQueue) {
    Fixture fixture;
    runTask(fixture.controller->recordAnonymousImprovement("full_monitoring_toggled",
                                                           {{"enabled", "true"}}));

    const auto requests = fixture.fake->requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& event = requests[0].newEvents.at(0);
    EXPECT_EQ(event.name, "full_monitoring_toggled");
    EXPECT_EQ(event.category, BerthkeepTelemetryCategory::anonymousImprovement);
    EXPECT_EQ(event.occurredAt, 1'700'000'000);
    EXPECT_EQ(event.appVersion, "1.2.3");
    EXPECT_EQ(event.macOSMajorVersion, 12);
    EXPECT_EQ(event.eventID.size(), 36u);
    EXPECT_EQ(QString::fromStdString(event.eventID).toUpper().toStdString(), event.eventID);
    EXPECT_EQ(requests[0].now, 1'700'000'000);
    EXPECT_TRUE(requests[0].consent.anonymousImprovementEnabled);

    const auto saved = fixture.store->load();
    EXPECT_EQ(saved.installID, "CORE-INSTALL");
    ASSERT_EQ(saved.items.size(), 1u);
    EXPECT_EQ(saved.items[0], event);

    const auto logged = fixture.sink->named("telemetry.request");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].level, BerthkeepLogLevel::debug);
    EXPECT_EQ(logged[0].message, "Submitting telemetry batch");
    const BerthkeepLogMetadata expected{
        {"api_base_url", BerthkeepTelemetryConfiguration::defaultAPIBaseURL},
        {"app_id", "berthkeep"},
        {"app_key", "secr...-key"},
        {"queued_events", "0"},
        {"new_events", "1"},
        {"new_event_names", "full_monitoring_toggled"},
        {"new_event_categories", "anonymous_improvement"}};
    EXPECT_EQ(logged[0].metadata, expected);
    EXPECT_TRUE(fixture.sink->named("telemetry.upload.failed").empty());
}

TEST(TelemetryController, LaterEventsUseTheStoredIdentifiers) {
    Fixture fixture;
    runTask(fixture.controller->recordOperational("app_started"));
    runTask(fixture.controller->recordOperational("app_version_reported"));
    const auto requests = fixture.fake->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].newEvents.at(0).installID, "CORE-INSTALL");
    EXPECT_EQ(requests[1].newEvents.at(0).sessionID, "CORE-SESSION");
    EXPECT_EQ(requests[1].queue.items.size(), 1u);
}

TEST(TelemetryController, WithoutQueueFileEveryEventGetsNewIdentifiers) {
    auto fake =
        std::make_shared<FakeTelemetryTransport>([](const BerthkeepTelemetryInput&) -> std::string {
            throw RustBerthkeepTelemetryBridgeError::callFailed("nothing saved");
        });
    Fixture failing(fake);
    runTask(failing.controller->recordOperational("a"));
    runTask(failing.controller->recordOperational("b"));
    const auto requests = fake->requests();
    ASSERT_EQ(requests.size(), 2u);
    const auto& first = requests[0].newEvents.at(0);
    const auto& second = requests[1].newEvents.at(0);
    EXPECT_NE(first.installID, second.installID);
    EXPECT_NE(first.sessionID, second.sessionID);
    EXPECT_NE(first.eventID, second.eventID);
}

TEST(TelemetryController, FlushWithoutEventsLogsEmptyNames) {
    Fixture fixture;
    runTask(fixture.controller->flushIfNeeded());
    const auto logged = fixture.sink->named("telemetry.request");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].metadata.at("new_events"), "0");
    EXPECT_EQ(logged[0].metadata.at("new_event_names"), "");
    EXPECT_EQ(logged[0].metadata.at("new_event_categories"), "");
}

TEST(TelemetryController, ReportedErrorStillSavesTheQueue) {
    auto fake = std::make_shared<FakeTelemetryTransport>([](const BerthkeepTelemetryInput& input) {
        auto output = FakeTelemetryTransport::keepEverythingOutput(input);
        output.queue.consecutiveFailures = 1;
        output.uploadedEvents = 3;
        output.lastError = "upload failed with HTTP status 500";
        return FakeTelemetryTransport::respond(output);
    });
    Fixture fixture(fake);
    runTask(fixture.controller->recordOperational("app_started"));
    EXPECT_EQ(fixture.store->load().consecutiveFailures, 1u);
    EXPECT_EQ(fixture.sink->named("telemetry.request").size(), 1u);
    const auto failed = fixture.sink->named("telemetry.upload.failed");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].level, BerthkeepLogLevel::error);
    EXPECT_EQ(failed[0].message, "Telemetry processing reported an error");
    EXPECT_EQ(failed[0].metadata,
              (BerthkeepLogMetadata{{"error", "upload failed with HTTP status 500"},
                                    {"uploaded_events", "3"}}));
}

TEST(TelemetryController, FailedPassLeavesTheFileAndDropsTheEvents) {
    auto answer = std::make_shared<std::string>("not json");
    auto fake = std::make_shared<FakeTelemetryTransport>(
        [answer](const BerthkeepTelemetryInput&) { return *answer; });
    Fixture fixture(fake);
    BerthkeepTelemetryQueue stored;
    stored.items = {storedEvent("S1", BerthkeepTelemetryCategory::operational)};
    fixture.store->save(stored);
    const auto before = readFile(fixture.store->fileURL());

    runTask(fixture.controller->recordOperational("lost"));
    EXPECT_EQ(readFile(fixture.store->fileURL()), before);
    const auto failed = fixture.sink->named("telemetry.processing.failed");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].message, "Telemetry processing failed");
    EXPECT_EQ(failed[0].metadata.at("error"),
              "Berthkeep Rust telemetry bridge returned an invalid response.");
    EXPECT_TRUE(fixture.sink->named("telemetry.request").empty());
}

TEST(TelemetryController, FullDiskKeepsTheFileWholeAndTheRefusedQueueForTheNextPass) {
    test::FullFileSystem disk;
    Fixture fixture(nullptr, 60, nullptr, disk.folder());
    runTask(fixture.controller->recordOperational("kept"));
    const auto before = readFile(fixture.store->fileURL());
    disk.fill();

    runTask(fixture.controller->recordOperational("refused"));
    runTask(fixture.controller->flushIfNeeded());
    EXPECT_EQ(readFile(fixture.store->fileURL()), before);
    ASSERT_EQ(fixture.store->load().items.size(), 2u) << "the refused event is not lost";
    EXPECT_EQ(fixture.sink->named("telemetry.processing.failed").size(), 1u);

    disk.makeRoom();
    runTask(fixture.controller->recordOperational("saved"));
    EXPECT_EQ(FileBerthkeepTelemetryQueueStore("com.example", disk.folder()).load().items.size(),
              3u);
    disk.fill();
    runTask(fixture.controller->flushIfNeeded());
    EXPECT_EQ(fixture.sink->named("telemetry.processing.failed").size(), 2u)
        << "a failure after a success is logged again";
}

TEST(TelemetryController, MissingTransportFailsEveryPass) {
    Fixture fixture(std::make_shared<MissingRustBerthkeepTelemetryTransport>());
    runTask(fixture.controller->recordOperational("app_started"));
    runTask(fixture.controller->flushIfNeeded());
    const auto failed = fixture.sink->named("telemetry.processing.failed");
    ASSERT_EQ(failed.size(), 2u);
    for (const auto& event : failed) {
        EXPECT_EQ(event.metadata.at("error"),
                  "Berthkeep Rust telemetry bridge transport is unavailable.");
    }
    EXPECT_FALSE(std::filesystem::exists(fixture.store->fileURL()));
}

TEST(TelemetryController, OptOutPassRemovesAnonymousEventsAroundTheCall) {
    auto fake = std::make_shared<FakeTelemetryTransport>([](const BerthkeepTelemetryInput& input) {
        auto output = FakeTelemetryTransport::keepEverythingOutput(input);
        // A core that keeps anonymous events anyway.
        output.queue.items.push_back(
            storedEvent("LATE", BerthkeepTelemetryCategory::anonymousImprovement));
        output.queue.nextFlushAt = 5;
        return FakeTelemetryTransport::respond(output);
    });
    Fixture fixture(fake);
    fixture.controller->updateConsent({false});
    BerthkeepTelemetryQueue stored;
    stored.nextFlushAt = 99;
    stored.items = {storedEvent("A1", BerthkeepTelemetryCategory::anonymousImprovement),
                    storedEvent("O1", BerthkeepTelemetryCategory::operational),
                    storedEvent("A2", BerthkeepTelemetryCategory::anonymousImprovement)};
    fixture.store->save(stored);

    runTask(fixture.controller->recordFinalAnonymousImprovementBeforeOptOut(
        "telemetry_opt_in_disabled"));

    const auto requests = fake->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].consent.anonymousImprovementEnabled);
    EXPECT_EQ(requests[0].queue.nextFlushAt, std::nullopt);
    ASSERT_EQ(requests[0].queue.items.size(), 1u);
    EXPECT_EQ(requests[0].queue.items[0].eventID, "O1");
    EXPECT_EQ(requests[0].newEvents.at(0).category,
              BerthkeepTelemetryCategory::anonymousImprovement);
    EXPECT_EQ(fixture.sink->named("telemetry.request").at(0).metadata.at("queued_events"), "1");

    const auto saved = fixture.store->load();
    ASSERT_EQ(saved.items.size(), 1u);
    EXPECT_EQ(saved.items[0].eventID, "O1");
    EXPECT_EQ(saved.nextFlushAt, 5);
    EXPECT_FALSE(fixture.controller->anonymousImprovementEnabled());

    runTask(fixture.controller->flushIfNeeded());
    EXPECT_FALSE(fake->requests().back().consent.anonymousImprovementEnabled);
}

TEST(TelemetryController, UndecodableQueueFileIsSetAsideAndThePassGoesOn) {
    Fixture fixture;
    std::filesystem::create_directories(fixture.store->directoryURL());
    std::ofstream(fixture.store->fileURL()) << "{\"consecutiveFailures\":";

    runTask(fixture.controller->recordOperational("app_started"));

    EXPECT_EQ(readFile(fixture.store->fileURL() + ".corrupt"), "{\"consecutiveFailures\":");
    const auto saved = fixture.store->load();
    ASSERT_EQ(saved.items.size(), 1u);
    EXPECT_EQ(saved.items[0].name, "app_started");
    const auto setAside = fixture.sink->named("telemetry.queue.set_aside");
    ASSERT_EQ(setAside.size(), 1u);
    EXPECT_EQ(setAside[0].level, BerthkeepLogLevel::error);
    EXPECT_EQ(setAside[0].metadata.at("path"), fixture.store->fileURL() + ".corrupt");
    EXPECT_TRUE(fixture.sink->named("telemetry.processing.failed").empty());
}

// On a full disk the queue that does not decode stays at its path: it goes
// aside only once the new queue, with the pass's event, is written beside it.
TEST(TelemetryController, AnUndecodableQueueStaysAtItsPathUntilTheNewOneIsWritten) {
    test::FullFileSystem disk;
    Fixture fixture(nullptr, 60, nullptr, disk.folder());
    const std::string damaged = "{\"consecutiveFailures\":";
    std::filesystem::create_directories(fixture.store->directoryURL());
    std::ofstream(fixture.store->fileURL()) << damaged;
    disk.fill();

    runTask(fixture.controller->recordOperational("app_started"));
    EXPECT_EQ(readFile(fixture.store->fileURL()), damaged);
    EXPECT_FALSE(std::filesystem::exists(fixture.store->fileURL() + ".corrupt"));
    EXPECT_TRUE(fixture.sink->named("telemetry.queue.set_aside").empty());

    disk.makeRoom();
    EXPECT_TRUE(AtomicFileWriter::retryAllPending());
    EXPECT_EQ(readFile(fixture.store->fileURL() + ".corrupt"), damaged);
    const auto saved = FileBerthkeepTelemetryQueueStore("com.example", disk.folder()).load();
    ASSERT_EQ(saved.items.size(), 1u);
    EXPECT_EQ(saved.items[0].name, "app_started");
    const auto setAside = fixture.sink->named("telemetry.queue.set_aside");
    ASSERT_EQ(setAside.size(), 1u);
    EXPECT_EQ(setAside[0].metadata.at("path"), fixture.store->fileURL() + ".corrupt");
}

TEST(TelemetryController, MaskSecret) {
    const std::pair<std::string, std::string> rows[] = {
        {"", ""},
        {"a", "*"},
        {"12345678", "********"},
        {"123456789", "1234...6789"},
        {"quartz-lamp-token", "quar...oken"},
        // "e" with a combining accent counts as one character.
        {"e\xCC\x81"
         "bcdefgh",
         "********"},
    };
    for (const auto& [secret, masked] : rows) {
        EXPECT_EQ(BerthkeepTelemetryController::maskSecret(secret), masked) << secret;
    }
}

TEST(TelemetryController, PeriodicFlushStartsOnceAndWaitsOneInterval) {
    Fixture fixture;
    fixture.controller->startPeriodicFlush();
    fixture.controller->startPeriodicFlush();
    processQueuedEvents();
    EXPECT_EQ(fixture.clock->sleeperCount(), 1u);

    fixture.clock->advance(59s);
    processQueuedEvents();
    EXPECT_TRUE(fixture.fake->requests().empty());
    fixture.clock->advance(1s);
    processQueuedEvents();
    EXPECT_EQ(fixture.fake->requests().size(), 1u);
    EXPECT_TRUE(fixture.fake->requests()[0].newEvents.empty());

    fixture.clock->advance(60s);
    processQueuedEvents();
    EXPECT_EQ(fixture.fake->requests().size(), 2u);
    EXPECT_EQ(fixture.clock->sleeperCount(), 1u);

    // Releasing the controller ends the loop.
    fixture.controller.reset();
    processQueuedEvents();
    EXPECT_EQ(fixture.clock->sleeperCount(), 0u);
}

TEST(TelemetryController, PeriodicFlushIntervalIsAtLeastOneSecond) {
    Fixture fixture(nullptr, 0);
    fixture.controller->startPeriodicFlush();
    processQueuedEvents();
    fixture.clock->advance(1s);
    processQueuedEvents();
    EXPECT_EQ(fixture.fake->requests().size(), 1u);
}

TEST(TelemetryController, PassesRunOneAfterAnotherOnTheWorkQueue) {
    auto workQueue = std::make_shared<BerthkeepTelemetryWorkQueue>("test.telemetry");
    Fixture fixture(nullptr, 60, workQueue);
    runTask(recordSeveral(fixture.controller.get(), 6));
    const auto saved = fixture.store->load();
    ASSERT_EQ(saved.items.size(), 6u);
    for (int index = 0; index < 6; ++index) {
        EXPECT_EQ(saved.items[static_cast<std::size_t>(index)].name,
                  "event_" + std::to_string(index));
    }
    EXPECT_EQ(fixture.sink->named("telemetry.request").size(), 6u);
}
