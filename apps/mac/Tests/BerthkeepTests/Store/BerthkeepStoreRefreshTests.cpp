#include "Berthkeep/Store/BerthkeepStore.hpp"

#include <gtest/gtest.h>

#include "../Inventory/InventoryTestSupport.hpp"
#include "StoreFixture.hpp"
#include "StoreTestSupport.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;
using storetest::drive;
using storetest::excluded;

DriveUsageSnapshot usage(std::int64_t openFiles, bool isBusy, double score = 0.0) {
    DriveUsageSnapshot snapshot;
    snapshot.openFileUsage = openFiles;
    snapshot.isBusy = isBusy;
    snapshot.ejectFailureRiskScore = score;
    if (isBusy) {
        snapshot.dominantAttentionReason = BerthkeepAttentionReasonCode::openFileUsage;
    }
    return snapshot;
}

// A store whose launch tasks are off, so each test starts from the bootstrap.
struct QuietStore {
    explicit QuietStore(storetest::StoreFixture& fixture) {
        fixture.performInitialAsyncInventoryRefresh = false;
        fixture.performInitialDriveUsageRefresh = false;
        store = fixture.make();
        test::processQueuedEvents();
    }
    std::unique_ptr<BerthkeepStore> store;
};

std::vector<std::string> auditMessages(const inventorytest::AuditCapture& audit) {
    std::vector<std::string> messages;
    for (const auto& entry : audit.entries()) {
        messages.push_back(entry.message.substr(0, entry.message.find(" | ")));
    }
    return messages;
}

std::size_t countOf(const std::vector<std::string>& values, const std::string& value) {
    return static_cast<std::size_t>(std::count(values.begin(), values.end(), value));
}

// The caller's locals outlive the task: the test spins until both have finished.
QCoro::Task<void> collectInto(QCoro::Task<std::vector<DetectedDrive>> task,
                              std::vector<DetectedDrive>* into, int* finished) {
    *into = co_await task;
    ++*finished;
}

TEST(BerthkeepStoreRefresh, EqualContextsJoinOneSnapshotAndOthersWaitForIt) {
    struct Case {
        const char* name;
        bool changeExclusionsBetween;
        std::size_t snapshots;
        const char* secondCallerLine;
    };
    for (const Case& test :
         std::vector<Case>{{"equal", false, 1, "Joined in-flight async inventory refresh"},
                           {"different", true, 2,
                            "Waiting for incompatible in-flight async inventory refresh"}}) {
        SCOPED_TRACE(test.name);
        inventorytest::AuditCapture audit(true);
        storetest::StoreFixture fixture;
        fixture.inventory->drives = {drive("a", "Alpha"), drive("b", "Beta")};
        QuietStore quiet(fixture);
        const std::size_t before = fixture.inventory->contexts.size();

        std::vector<DetectedDrive> first;
        std::vector<DetectedDrive> second;
        int finished = 0;
        auto one = collectInto(quiet.store->refreshInventoryNow(), &first, &finished);
        if (test.changeExclusionsBetween) {
            quiet.store->preferences().setExcludedDriveIDs({"b"});
        }
        auto two = collectInto(quiet.store->refreshInventoryNow(), &second, &finished);
        ASSERT_TRUE(test::processEventsUntil([&finished] { return finished == 2; }));

        EXPECT_EQ(fixture.inventory->contexts.size(), before + test.snapshots);
        EXPECT_EQ(countOf(auditMessages(audit), test.secondCallerLine), 1u);
        EXPECT_EQ(countOf(auditMessages(audit), "Starting async inventory refresh"),
                  test.snapshots);
        EXPECT_EQ(second, quiet.store->detectedDrives());
        if (!test.changeExclusionsBetween) {
            EXPECT_EQ(first, second) << "joiners get the same list";
        } else {
            EXPECT_EQ(second[1].scope(), DetectedDrive::Scope::excluded);
        }
    }
}

TEST(BerthkeepStoreRefresh, AStaleSnapshotIsDroppedAndTheCallerGetsTheCurrentList) {
    storetest::StoreFixture fixture;
    const auto held = fixture.holdDetachedWork();
    fixture.inventory->drives = {drive("a", "Alpha")};
    QuietStore quiet(fixture);
    BerthkeepStore& store = *quiet.store;
    const auto context = store.currentInventoryRefreshRequestContext();

    auto older = store.performInventoryRefreshNow(context);
    fixture.inventory->drives = {drive("a", "Alpha"), drive("b", "Beta")};
    auto newer = store.performInventoryRefreshNow(context);
    ASSERT_EQ(held->held.size(), 2u);
    fixture.inventory->drives = {drive("z", "Zulu")};
    const std::size_t resultsBefore = fixture.sink->named("inventory.refresh.result").size();

    held->releaseFirst(); // the older snapshot answers first, with a list nobody asked for
    const auto olderResult = test::runTask(std::move(older));
    EXPECT_EQ(olderResult, (std::vector<DetectedDrive>{drive("a", "Alpha")}));
    EXPECT_EQ(store.detectedDrives().size(), 1u);
    EXPECT_EQ(fixture.sink->named("inventory.refresh.result").size(), resultsBefore);

    held->releaseFirst();
    test::processQueuedEvents();
    held->releaseFirst(); // the usage probe that follows an applied snapshot
    test::runTask(std::move(newer));
    EXPECT_EQ(store.detectedDrives(), (std::vector<DetectedDrive>{drive("z", "Zulu")}));
}

// Throws on the snapshots it is told to, else answers as the fake inventory.
class FailingInventory final : public ContextualDriveInventoryProviding {
public:
    explicit FailingInventory(std::shared_ptr<storetest::FakeInventory> inner)
        : m_inner(std::move(inner)) {}
    std::vector<DetectedDrive> snapshot(const std::set<std::string>& excludedDriveIDs,
                                        const DriveInventoryAuditContext& context) override {
        failIfTold();
        return m_inner->snapshot(excludedDriveIDs, context);
    }
    std::vector<DetectedDrive> snapshot(const std::set<std::string>& excludedDriveIDs,
                                        bool allowMountedVolumeAccess) override {
        failIfTold();
        return m_inner->snapshot(excludedDriveIDs, allowMountedVolumeAccess);
    }
    void failIfTold() {
        ++calls;
        if (failuresLeft > 0) {
            --failuresLeft;
            throw std::runtime_error("disk tool crashed");
        }
    }
    int calls = 0;
    int failuresLeft = 0;

private:
    std::shared_ptr<storetest::FakeInventory> m_inner;
};

TEST(BerthkeepStoreRefresh, AFailedSnapshotKeepsTheDrivesAndLaterRefreshesAskAgain) {
    storetest::StoreFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha")};
    const auto failing = std::make_shared<FailingInventory>(fixture.inventory);
    fixture.customInventory = failing;
    QuietStore quiet(fixture);
    BerthkeepStore& store = *quiet.store;
    const int callsBefore = failing->calls;

    failing->failuresLeft = 1;
    fixture.inventory->drives = {drive("b", "Bravo")};
    const auto failed = test::runTask(store.refreshInventoryNow());
    EXPECT_EQ(failed, (std::vector<DetectedDrive>{drive("a", "Alpha")}));
    EXPECT_EQ(store.detectedDrives(), failed);
    const auto logged = fixture.sink->named("inventory.refresh.failed");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].metadata.at("error"), "disk tool crashed");

    const auto next = test::runTask(store.refreshInventoryNow());
    EXPECT_EQ(failing->calls, callsBefore + 2) << "the provider is asked again";
    EXPECT_EQ(next, (std::vector<DetectedDrive>{drive("b", "Bravo")}));
    EXPECT_EQ(store.detectedDrives(), next);
}

TEST(BerthkeepStoreRefresh, AsyncRefreshEndsWithAProbeOnlyWithFullMonitoringActive) {
    struct Case {
        const char* preference;
        ActivityDetectionMode mode;
        int probes;
    };
    for (const Case& test : std::vector<Case>{{"on", ActivityDetectionMode::enhanced, 1},
                                              {"off", ActivityDetectionMode::coreOnly, 0}}) {
        SCOPED_TRACE(test.preference);
        storetest::StoreFixture fixture;
        fixture.defaults->setString(AppPreferencesStore::Keys::fullMonitoringPreference,
                                    test.preference);
        fixture.inventory->drives = {drive("a", "Alpha")};
        QuietStore quiet(fixture);
        fixture.inventory->drives.push_back(drive("b", "Beta"));
        const auto skipped = fixture.sink->named("inventory.usage_probe.skipped").size();

        EXPECT_EQ(test::runTask(quiet.store->refreshInventoryNow()).size(), 2u);
        EXPECT_EQ(quiet.store->detectedDrives().size(), 2u);
        EXPECT_EQ(fixture.inventory->contexts.back().mode, test.mode);
        EXPECT_EQ(fixture.usage->calls, test.probes);
        EXPECT_EQ(fixture.sink->named("inventory.usage_probe.skipped").size(), skipped)
            << "no probe was asked for at all";
    }
}

TEST(BerthkeepStoreRefresh, AppliedSnapshotPrunesTheSetsOfDrivesNoLongerManaged) {
    struct Case {
        const char* name;
        std::optional<std::string> attemptID;
        std::optional<TriggerReason> lastTrigger;
        std::set<std::string> expectedWorking;
    };
    // "a" vanished, "b" became excluded, "c" is still managed.
    for (const Case& test : std::vector<Case>{
             {"no attempt", std::nullopt, std::nullopt, {"b", "c"}},
             {"eject all running", "ATTEMPT", TriggerReason::manualEjectAll, {"a", "b", "c"}},
             {"other attempt", "ATTEMPT", TriggerReason::manualRetry, {"b", "c"}},
             {"eject all finished", std::nullopt, TriggerReason::manualEjectAll, {"b", "c"}}}) {
        SCOPED_TRACE(test.name);
        storetest::StoreFixture fixture;
        fixture.inventory->drives = {drive("a", "Alpha"), drive("b", "Beta"), drive("c", "Gamma")};
        QuietStore quiet(fixture);
        BerthkeepStore& store = *quiet.store;
        if (test.attemptID) {
            store.ejectAttempt().begin({}, 0, 0);
        }
        for (const char* id : {"a", "b", "c"}) {
            store.ejectAttempt().markDriveWorking(id);
        }
        store.setLastObservedTrigger(test.lastTrigger);

        store.applyInventorySnapshot(
            {excluded("b", "Beta"), drive("c", "Gamma")},
            {{"a", usage(1, true)}, {"b", usage(1, true)}, {"c", usage(0, false)}});
        EXPECT_EQ(store.ejectAttempt().workingDriveIDs(), test.expectedWorking);
        EXPECT_EQ(store.driveUsageSnapshotsByDriveID().size(), 1u);
        EXPECT_TRUE(store.driveUsageSnapshotsByDriveID().contains("c"));
        const auto result = fixture.sink->named("inventory.refresh.result").back();
        EXPECT_EQ(result.metadata.at("visible_drive_count"), "2");
        EXPECT_EQ(result.metadata.at("managed_drive_count"), "1");
        EXPECT_EQ(result.metadata.at("excluded_drive_count"), "1");

        // Attention goes with the managed drives alone.
        store.ejectAttempt().close({"a", "b", "c"});
        store.applyInventorySnapshot({excluded("b", "Beta"), drive("c", "Gamma")}, {});
        EXPECT_EQ(store.ejectAttempt().attentionDriveIDs(), (std::set<std::string>{"c"}));
    }
}

TEST(BerthkeepStoreRefresh, InventoryTelemetryIsSentOncePerSetOfCountsAndOnlyWithConsent) {
    storetest::StoreFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha"), excluded("e", "Extra"),
                                 drive("u", "Unmounted", false)};
    fixture.defaults->setBool(AppPreferencesStore::Keys::anonymousUsageStatisticsEnabled, false);
    QuietStore quiet(fixture);
    BerthkeepStore& store = *quiet.store;
    const auto seen = [&fixture] {
        std::vector<BerthkeepTelemetryPayload> payloads;
        for (const auto& request : fixture.transport->requests()) {
            for (const auto& event : request.newEvents) {
                if (event.name == "drive_inventory_seen") {
                    payloads.push_back(event.payload);
                }
            }
        }
        return payloads;
    };
    EXPECT_TRUE(seen().empty()) << "no consent, nothing sent";

    store.setAnonymousUsageStatisticsEnabledByUser(true);
    test::processQueuedEvents();
    ASSERT_EQ(seen().size(), 1u) << "nothing was remembered without consent";
    EXPECT_EQ(seen()[0], (BerthkeepTelemetryPayload{{"visible_count", "3"},
                                                    {"managed_count", "2"},
                                                    {"excluded_count", "1"},
                                                    {"mounted_count", "2"}}));

    store.refreshInventorySynchronously();
    store.setAnonymousUsageStatisticsEnabledByUser(false);
    store.setAnonymousUsageStatisticsEnabledByUser(true);
    test::processQueuedEvents();
    EXPECT_EQ(seen().size(), 1u) << "same counts, nothing new";

    fixture.inventory->drives.pop_back();
    store.refreshInventorySynchronously();
    test::processQueuedEvents();
    EXPECT_EQ(seen().size(), 2u);
}

TEST(BerthkeepStoreUsage, SummaryRendersEachSnapshotInNaturalNameOrder) {
    const std::vector<DetectedDrive> drives = {drive("d10", "Disk 10"), drive("d9", "Disk 9"),
                                               drive("arc", "Archive")};
    DriveUsageSnapshot archive = usage(2, true, 0.8);
    archive.statfsActivity = true;
    struct Case {
        std::map<std::string, DriveUsageSnapshot> snapshots;
        std::string expected;
    };
    for (const Case& test : std::vector<Case>{
             {{}, ""},
             {{{"arc", archive}},
              "Archive:open=2,cwd=0,statfs=true,fsevents=false,viewer=false,busy=true,score=0.8"},
             {{{"d10", usage(0, false)}, {"d9", usage(0, false, 1.0)}},
              "Disk 9:open=0,cwd=0,statfs=false,fsevents=false,viewer=false,busy=false,score=1.0;"
              "Disk 10:open=0,cwd=0,statfs=false,fsevents=false,viewer=false,busy=false,score=0.0"},
             {{{"gone", usage(0, false, 0.35)}},
              "gone:open=0,cwd=0,statfs=false,fsevents=false,viewer=false,busy=false,score=0.35"},
         }) {
        EXPECT_EQ(BerthkeepStore::renderUsageSummary(test.snapshots, drives), test.expected);
    }
}

TEST(BerthkeepStoreUsage, ElapsedMillisecondsIsWholeAndNeverNegative) {
    ManualClock clock;
    const auto start = clock.now();
    clock.advance(1500ms + std::chrono::microseconds(999));
    EXPECT_EQ(BerthkeepStore::elapsedMilliseconds(start, clock), 1500);
    EXPECT_EQ(BerthkeepStore::elapsedMilliseconds(clock.now() + 5s, clock), 0);
}

TEST(BerthkeepStoreUsage, PollingIntervalIsShortOnlyWhileAMountedManagedDriveIsBusy) {
    struct Case {
        const char* name;
        std::vector<DetectedDrive> drives;
        std::map<std::string, DriveUsageSnapshot> snapshots;
        std::chrono::seconds expected;
    };
    for (const Case& test : std::vector<Case>{
             {"busy mounted", {drive("a", "Alpha")}, {{"a", usage(1, true)}}, 3s},
             {"idle mounted", {drive("a", "Alpha")}, {{"a", usage(4, false)}}, 10s},
             {"busy unmounted", {drive("a", "Alpha", false)}, {{"a", usage(1, true)}}, 10s},
             {"no snapshots", {drive("a", "Alpha")}, {}, 10s},
             {"no drives", {}, {}, 10s}}) {
        SCOPED_TRACE(test.name);
        storetest::StoreFixture fixture;
        fixture.inventory->drives = test.drives;
        QuietStore quiet(fixture);
        quiet.store->applyUsageSnapshots(test.snapshots);
        EXPECT_EQ(quiet.store->currentUsagePollingInterval(), test.expected);
    }
}

TEST(BerthkeepStoreUsage, PollingTicksEveryThreeSecondsWhileBusyAndTenWhenIdle) {
    storetest::StoreFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha")};
    fixture.usage->answer = {{"a", usage(2, true)}};
    const auto store = fixture.make();
    test::processQueuedEvents();
    ASSERT_EQ(fixture.usage->calls, 1) << "the launch refresh probes once";
    const auto lastInterval = [&fixture] {
        return fixture.sink->named("inventory.usage_polling.tick_scheduled")
            .back()
            .metadata.at("interval_seconds");
    };
    // Polling started with the inventory, before there was any evidence.
    EXPECT_EQ(lastInterval(), "10");
    fixture.clock->advance(10s);
    test::processQueuedEvents();
    EXPECT_EQ(fixture.usage->calls, 2);
    EXPECT_EQ(lastInterval(), "3");

    fixture.usage->answer = {{"a", usage(0, false)}};
    fixture.clock->advance(3s);
    test::processQueuedEvents();
    EXPECT_EQ(fixture.usage->calls, 3);
    EXPECT_EQ(lastInterval(), "10");

    fixture.clock->advance(9s);
    test::processQueuedEvents();
    EXPECT_EQ(fixture.usage->calls, 3);
    fixture.clock->advance(1s);
    test::processQueuedEvents();
    EXPECT_EQ(fixture.usage->calls, 4);
}

TEST(BerthkeepStoreUsage, RequestsDuringAProbeFoldIntoOneRerun) {
    storetest::StoreFixture fixture;
    const auto held = fixture.holdDetachedWork();
    fixture.inventory->drives = {drive("a", "Alpha")};
    QuietStore quiet(fixture);
    BerthkeepStore& store = *quiet.store;

    auto running = store.refreshDriveUsageNow();
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(test::runTask(store.refreshDriveUsageNow()));
    }
    EXPECT_EQ(fixture.sink->named("inventory.usage_probe.coalesced").size(), 3u);
    held->releaseFirst();
    EXPECT_TRUE(test::runTask(std::move(running)));
    test::processQueuedEvents();
    ASSERT_EQ(held->held.size(), 1u) << "exactly one rerun";
    held->releaseFirst();
    test::processQueuedEvents();
    EXPECT_TRUE(held->held.empty());
    EXPECT_EQ(fixture.usage->calls, 2);
}

TEST(BerthkeepStoreUsage, ProbeOutcomesSetCapabilityLogAndApply) {
    storetest::StoreFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha"), excluded("e", "Extra")};
    QuietStore quiet(fixture);
    BerthkeepStore& store = *quiet.store;

    fixture.usage->answer = {{"a", usage(2, true, 0.8)}, {"e", usage(1, true)}};
    EXPECT_TRUE(test::runTask(store.refreshDriveUsageNow()));
    EXPECT_TRUE(store.hasCompletedInitialAsyncUsageRefresh());
    EXPECT_EQ(store.fullMonitoringCapability(), FullMonitoringCapability::available());
    EXPECT_EQ(store.driveUsageSnapshotsByDriveID().size(), 1u) << "the excluded drive is dropped";
    const auto completed = fixture.sink->named("inventory.usage_probe.completed").back();
    EXPECT_EQ(completed.metadata.at("usage_snapshot_count"), "2");
    EXPECT_EQ(completed.metadata.at("elapsed_ms"), "0");
    EXPECT_EQ(completed.metadata.at("usage_summary"),
              "Alpha:open=2,cwd=0,statfs=false,fsevents=false,viewer=false,busy=true,score=0.8;"
              "e:open=1,cwd=0,statfs=false,fsevents=false,viewer=false,busy=true,score=0.0");
    const auto updated = fixture.sink->named("inventory.usage.updated");
    ASSERT_EQ(updated.size(), 1u);
    EXPECT_EQ(updated[0].metadata.at("drive_name"), "Alpha");
    EXPECT_EQ(updated[0].metadata.at("is_busy"), "true");
    EXPECT_EQ(updated[0].metadata.at("reason_codes"), "OPEN_FILE_USAGE");
    EXPECT_EQ(updated[0].metadata.at("eject_failure_risk_score"), "0.8");

    fixture.usage->fails = true;
    EXPECT_TRUE(test::runTask(store.refreshDriveUsageNow()));
    EXPECT_EQ(store.fullMonitoringCapability(), FullMonitoringCapability::setupRequired());
    const auto failed = fixture.sink->named("inventory.usage_probe.failed").back();
    EXPECT_EQ(failed.metadata.at("error"), "probe failed");
    EXPECT_TRUE(failed.metadata.contains("elapsed_ms"));
    EXPECT_TRUE(store.driveUsageSnapshotsByDriveID().at("a").isBusy) << "last evidence kept";

    // The drive leaves: its change to nothing is not reported.
    fixture.inventory->drives = {excluded("e", "Extra")};
    store.refreshInventorySynchronously();
    store.applyUsageSnapshots({});
    EXPECT_EQ(fixture.sink->named("inventory.usage.updated").size(), 1u);
}

// While Full Monitoring is being verified, the first answer finds the drive busy: no state
// in between shows it safe.
TEST(BerthkeepStoreUsage, TheFirstAnswerIsShownWithoutASafeStateBeforeIt) {
    storetest::StoreFixture fixture;
    fixture.defaults->setString(AppPreferencesStore::Keys::fullMonitoringCapability, "unknown");
    fixture.inventory->drives = {drive("a", "Alpha")};
    QuietStore quiet(fixture);
    BerthkeepStore& store = *quiet.store;
    ASSERT_EQ(store.currentState().globalState, GlobalSafetyState::fullMonitoringVerifying());
    std::vector<GlobalSafetyState> shown;
    QObject::connect(&store, &BerthkeepStore::currentStateChanged,
                     [&] { shown.push_back(store.currentState().globalState); });

    fixture.usage->answer = {{"a", usage(1, true)}};
    EXPECT_TRUE(test::runTask(store.refreshDriveUsageNow()));
    EXPECT_EQ(std::count(shown.begin(), shown.end(), GlobalSafetyState::safe()), 0);
    EXPECT_EQ(store.currentState().globalState, GlobalSafetyState::attention(1));
}

TEST(BerthkeepStoreUsage, SkippedProbesEmptyTheUsageAndSayWhy) {
    struct Case {
        const char* name;
        const char* preference;
        bool mounted;
        const char* message;
        bool completesInitial;
    };
    for (const Case& test : std::vector<Case>{
             {"preference off", "off", true,
              "Skipped drive usage probe because full monitoring preference is off", false},
             {"nothing mounted", "on", false,
              "Skipped drive usage probe because no managed drives are currently mounted", true}}) {
        SCOPED_TRACE(test.name);
        storetest::StoreFixture fixture;
        fixture.defaults->setString(AppPreferencesStore::Keys::fullMonitoringPreference,
                                    test.preference);
        fixture.inventory->drives = {drive("a", "Alpha", test.mounted)};
        QuietStore quiet(fixture);
        EXPECT_TRUE(test::runTask(quiet.store->refreshDriveUsageNow()));
        EXPECT_EQ(fixture.usage->calls, 0);
        EXPECT_TRUE(quiet.store->driveUsageSnapshotsByDriveID().empty());
        EXPECT_EQ(fixture.sink->named("inventory.usage_probe.skipped").back().message,
                  test.message);
        EXPECT_EQ(quiet.store->hasCompletedInitialAsyncUsageRefresh(), test.completesInitial);
    }
}

TEST(BerthkeepStoreUsage, ReleasedStoreStopsItsPolling) {
    storetest::StoreFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha")};
    auto store = fixture.make();
    test::processQueuedEvents();
    const int calls = fixture.usage->calls;
    const auto scheduled = fixture.sink->named("inventory.usage_polling.tick_scheduled").size();
    store.reset();
    fixture.clock->advance(30s);
    test::processQueuedEvents();
    EXPECT_EQ(fixture.usage->calls, calls);
    EXPECT_EQ(fixture.sink->named("inventory.usage_polling.tick_scheduled").size(), scheduled)
        << "the loop ended instead of ticking into an empty store";
}

} // namespace
} // namespace berthkeep
