#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "../Support/MemoryQueueStore.hpp"
#include "Berthkeep/Domain/SwiftBerthkeepCore.hpp"
#include "Berthkeep/Store/BerthkeepStore.hpp"
#include "BerthkeepShared/Detached.hpp"
#include "BerthkeepShared/ManualClock.hpp"
#include "BerthkeepTelemetry/BerthkeepTelemetryController.hpp"
#include "TaskDriver.hpp"
#include "apps/mac/Tests/BerthkeepTelemetryTests/TelemetryTestSupport.hpp"
#include "platform/LoginItems/SimulatedLoginItemService.hpp"
#include "platform/UrlOpening/RecordingUrlOpener.hpp"

namespace berthkeep::storetest {

// Answers with the given drives and counts its snapshots.
class FakeInventory final : public ContextualDriveInventoryProviding {
public:
    std::vector<DetectedDrive> snapshot(const std::set<std::string>& excludedDriveIDs,
                                        const DriveInventoryAuditContext& context) override {
        contexts.push_back(context);
        return withExclusions(excludedDriveIDs);
    }
    std::vector<DetectedDrive> snapshot(const std::set<std::string>& excludedDriveIDs,
                                        bool) override {
        return withExclusions(excludedDriveIDs);
    }

    std::vector<DetectedDrive> drives;
    std::vector<DriveInventoryAuditContext> contexts;

private:
    std::vector<DetectedDrive> withExclusions(const std::set<std::string>& excludedDriveIDs) const {
        std::vector<DetectedDrive> result;
        for (const DetectedDrive& drive : drives) {
            const auto scope = excludedDriveIDs.contains(drive.id())
                                   ? DetectedDrive::Scope::excluded
                                   : drive.scope();
            result.emplace_back(drive.id(), drive.name(), drive.mountURL(), scope,
                                drive.isEjectable(), drive.bsdName(), drive.ejectTargetBSDName(),
                                drive.ejectGroupID(), drive.allowsGroupedWakeRemount(),
                                drive.identity());
        }
        return result;
    }
};

class FakeMonitor final : public DriveInventoryMonitoring {
public:
    void start(ChangeAction onChange) override {
        ++starts;
        action = std::move(onChange);
    }
    void stop() override {}

    int starts = 0;
    ChangeAction action;
};

class FakeUsageCollector final : public DriveUsageCollecting {
public:
    std::map<std::string, DriveUsageSnapshot> snapshot(const std::vector<DetectedDrive>&,
                                                       ActivityDetectionMode) override {
        ++calls;
        if (fails) {
            throw std::runtime_error("probe failed");
        }
        return answer;
    }

    int calls = 0;
    bool fails = false;
    std::map<std::string, DriveUsageSnapshot> answer;
};

// The in-app core, with every question it was asked.
class RecordingCore final : public BerthkeepCoreHandling {
public:
    BerthkeepStateEvaluationOutput
    evaluateState(const BerthkeepStateEvaluationInput& input) override {
        inputs.push_back(input);
        return m_core.evaluateState(input);
    }
    BerthkeepActionPlan planAction(const BerthkeepActionPlanningInput& input) override {
        return m_core.planAction(input);
    }
    BerthkeepActionSummaryOutput
    summarizeAction(const BerthkeepActionSummaryInput& input) override {
        return m_core.summarizeAction(input);
    }

    std::vector<BerthkeepStateEvaluationInput> inputs;

private:
    SwiftBerthkeepCore m_core;
};

class FakeNotificationManager final : public BerthkeepNotificationManaging {
public:
    QCoro::Task<BerthkeepNotificationAuthorizationStatus> authorizationStatus() override {
        co_return status;
    }
    QCoro::Task<void>
    deliverSleepFailureNotification(PendingSleepFailureNotification notification) override {
        delivered.push_back(notification.failedDriveCount);
        co_return;
    }
    QCoro::Task<BerthkeepNotificationAuthorizationStatus> requestAuthorizationIfNeeded() override {
        ++requests;
        co_return answer;
    }

    BerthkeepNotificationAuthorizationStatus status =
        BerthkeepNotificationAuthorizationStatus::authorized;
    // What the user answers when asked.
    BerthkeepNotificationAuthorizationStatus answer =
        BerthkeepNotificationAuthorizationStatus::authorized;
    int requests = 0;
    std::vector<std::int64_t> delivered;
};

class UnusedEjector final : public DriveEjecting {
public:
    QCoro::Task<void> eject(DetectedDrive, DriveEjectMode, std::shared_ptr<CancelToken>) override {
        co_return;
    }
};

// Ejects at once, or fails for the ids in `failing`; remembers what it was given.
class RecordingEjector final : public DriveEjecting {
public:
    QCoro::Task<void> eject(DetectedDrive drive, DriveEjectMode,
                            std::shared_ptr<CancelToken>) override {
        ejected.push_back(drive.id());
        if (failing.contains(drive.id())) {
            throw std::runtime_error("busy");
        }
        co_return;
    }
    std::vector<std::string> ejected;
    std::set<std::string> failing;
};

// Holds detached work until the test releases it, so a probe or a snapshot can
// be caught while it runs.
class HeldExecutor final : public Executor {
public:
    void execute(std::function<void()> work) override { held.push_back(std::move(work)); }
    void releaseFirst() {
        auto work = std::move(held.front());
        held.erase(held.begin());
        work();
    }
    // Held work that never runs leaves its coroutine suspended for good.
    void releaseAll() {
        while (!held.empty()) {
            releaseFirst();
        }
    }
    std::vector<std::function<void()>> held;
};

class UnusedRemounter final : public DriveRemounting {
public:
    QCoro::Task<void> mount(RemountTarget, std::shared_ptr<CancelToken>) override { co_return; }
    QCoro::Task<void> mountDisk(RemountGroup, std::shared_ptr<CancelToken>) override { co_return; }
};

class UnusedSleepRequester final : public SystemSleepRequesting {
public:
    void requestSleep() override {}
};

class RecordingSleepRequester final : public SystemSleepRequesting {
public:
    void requestSleep() override {
        ++requests;
        if (fails) {
            throw std::runtime_error("sleep refused");
        }
    }
    int requests = 0;
    bool fails = false;
};

class RecordingStatusPresenter final : public TransientActionStatusPresenting {
public:
    void present(const TransientActionStatus& status) override { presented.push_back(status); }
    void dismiss() override { ++dismissals; }
    std::vector<TransientActionStatus> presented;
    int dismissals = 0;
};

class SilentPromptPresenter final : public FullMonitoringPromptPresenting {
public:
    void present(Action, Action) override { ++presented; }
    void dismiss() override {}
    int presented = 0;
};

// Full Monitoring on and known to work: the core judges the drives.
inline PropertyListValue::Dictionary fullMonitoringActive() {
    return {{AppPreferencesStore::Keys::fullMonitoringPreference, "on"},
            {AppPreferencesStore::Keys::fullMonitoringOnboardingState, "acknowledged"},
            {AppPreferencesStore::Keys::fullMonitoringCapability, "available"},
            {AppPreferencesStore::Keys::fullMonitoringUserOverride, true}};
}

// The custom part when set, else the fixture's own.
template <typename Interface, typename Custom, typename Own>
std::shared_ptr<Interface> either(const std::shared_ptr<Custom>& custom,
                                  const std::shared_ptr<Own>& own) {
    return custom ? std::shared_ptr<Interface>(custom) : std::shared_ptr<Interface>(own);
}

// Everything a store needs, all fakes, time on a manual clock, background work
// inline. Build the store with make() after adjusting the parts.
struct StoreFixture {
    StoreFixture() {
        BerthkeepTelemetryController::Options options;
        options.workQueue = std::make_shared<InlineExecutor>();
        options.clock = clock;
        options.operatingSystemMajorVersion = 13;
        telemetry = std::make_shared<BerthkeepTelemetryController>(
            BerthkeepTelemetryConfiguration::resolve({}, {}, "com.example", false),
            RustBerthkeepTelemetryBridge(transport),
            std::make_shared<testsupport::MemoryQueueStore>(), BerthkeepLogger(telemetrySink),
            "1.0", BerthkeepTelemetryConsent{true}, options);
    }

    // The controller's flush loop and queued telemetry records resume through
    // the event loop once cancelled, and a store over the thread pool may leave
    // a probe or a snapshot running there (a loaded machine is slow to finish
    // them): let all of it finish so nothing outlives the test.
    ~StoreFixture() {
        telemetry.reset();
        EXPECT_TRUE(finishDetachedWork(std::chrono::seconds(20)));
        test::processQueuedEvents();
    }

    std::shared_ptr<LaunchAtLoginManager> launchAtLogin(bool available = true) {
        LaunchAtLoginManager::RuntimeContext context;
        if (available) {
            context.bundlePath = "/opt/Berthkeep.app";
            context.executablePath = "/opt/Berthkeep.app/Contents/MacOS/Berthkeep";
        } else {
            context.bundlePath = "/home/dev/berthkeep/build";
        }
        context.bundleIdentifier = "app.berthkeep.Berthkeep";
        return std::make_shared<LaunchAtLoginManager>(
            BerthkeepLogger(sink), context, std::make_shared<SimulatedLoginItemService>());
    }

    std::unique_ptr<BerthkeepStore> make() {
        BerthkeepStore::Platform platform{
            .launchAtLoginManager = launchAtLoginManager ? launchAtLoginManager : launchAtLogin(),
            .clock = liveClock ? nullptr : std::shared_ptr<Clock>(clock),
            .executor = executor,
            .urlOpener = urlOpener,
            .workspaceNotificationCenter = workspace,
            .powerManagement = powerManagement};
        return std::make_unique<BerthkeepStore>(
            either<DriveInventoryProviding>(customInventory, inventory),
            either<DriveInventoryMonitoring>(customMonitor, monitor),
            either<DriveUsageCollecting>(customUsage, usage),
            either<DriveEjecting>(customEjector, ejector), remounter,
            either<BerthkeepCoreHandling>(customCore, core),
            either<BerthkeepNotificationManaging>(customNotifications, notifications),
            statusPresenter, either<SystemSleepRequesting>(customSleepRequester, sleepRequester),
            either<FullMonitoringPromptPresenting>(customPromptPresenter, promptPresenter),
            telemetry, BerthkeepLogger(sink), either<UserDefaults>(customDefaults, defaults),
            observeWorkspace, performInitialAsyncInventoryRefresh, performInitialDriveUsageRefresh,
            timing, platform);
    }

    // A store without launch refreshes, whose attempts end without the clock
    // moving, so it sees only what a test sets.
    std::unique_ptr<BerthkeepStore> makeQuiet() {
        performInitialAsyncInventoryRefresh = false;
        performInitialDriveUsageRefresh = false;
        timing.postEjectRefreshDelay = Clock::Duration::zero();
        timing.sleepEjectSettleDelay = Clock::Duration::zero();
        auto store = make();
        test::processQueuedEvents();
        return store;
    }

    // Telemetry event names in the order they were handed over, after the last
    // forgetTelemetry().
    std::vector<std::string> telemetryEventNames() const {
        std::vector<std::string> names;
        const auto requests = transport->requests();
        for (std::size_t index = forgottenRequests; index < requests.size(); ++index) {
            for (const auto& event : requests[index].newEvents) {
                names.push_back(event.name);
            }
        }
        return names;
    }
    // Detached work (snapshots, probes) waits until the test releases it.
    std::shared_ptr<HeldExecutor> holdDetachedWork() {
        auto held = std::make_shared<HeldExecutor>();
        executor = held;
        return held;
    }
    void forgetTelemetry() { forgottenRequests = transport->requests().size(); }
    std::size_t forgottenRequests = 0;

    std::vector<BerthkeepLogEvent> transitions() const { return sink->named("state.transition"); }

    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<Executor> executor = std::make_shared<InlineExecutor>();
    std::shared_ptr<test::RecordingLogSink> sink = std::make_shared<test::RecordingLogSink>();
    std::shared_ptr<test::RecordingLogSink> telemetrySink =
        std::make_shared<test::RecordingLogSink>();
    std::shared_ptr<test::FakeTelemetryTransport> transport =
        std::make_shared<test::FakeTelemetryTransport>();
    std::shared_ptr<BerthkeepTelemetryController> telemetry;
    std::shared_ptr<InMemoryUserDefaults> defaults =
        std::make_shared<InMemoryUserDefaults>(fullMonitoringActive());
    std::shared_ptr<FakeInventory> inventory = std::make_shared<FakeInventory>();
    std::shared_ptr<FakeMonitor> monitor = std::make_shared<FakeMonitor>();
    std::shared_ptr<FakeUsageCollector> usage = std::make_shared<FakeUsageCollector>();
    std::shared_ptr<DriveRemounting> remounter = std::make_shared<UnusedRemounter>();
    std::shared_ptr<RecordingCore> core = std::make_shared<RecordingCore>();
    std::shared_ptr<FakeNotificationManager> notifications =
        std::make_shared<FakeNotificationManager>();
    std::shared_ptr<RecordingStatusPresenter> statusPresenter =
        std::make_shared<RecordingStatusPresenter>();
    std::shared_ptr<SilentPromptPresenter> promptPresenter =
        std::make_shared<SilentPromptPresenter>();
    // Used instead of the fake of the same name when set: real parts, or fakes of
    // another kind.
    std::shared_ptr<DriveInventoryProviding> customInventory;
    std::shared_ptr<DriveInventoryMonitoring> customMonitor;
    std::shared_ptr<DriveUsageCollecting> customUsage;
    std::shared_ptr<DriveEjecting> customEjector;
    std::shared_ptr<BerthkeepCoreHandling> customCore;
    std::shared_ptr<BerthkeepNotificationManaging> customNotifications;
    std::shared_ptr<SystemSleepRequesting> customSleepRequester;
    std::shared_ptr<FullMonitoringPromptPresenting> customPromptPresenter;
    std::shared_ptr<UserDefaults> customDefaults;
    std::shared_ptr<RecordingUrlOpener> urlOpener = std::make_shared<RecordingUrlOpener>();
    std::shared_ptr<RecordingEjector> ejector = std::make_shared<RecordingEjector>();
    std::shared_ptr<RecordingSleepRequester> sleepRequester =
        std::make_shared<RecordingSleepRequester>();
    std::shared_ptr<LaunchAtLoginManager> launchAtLoginManager;
    // Registered with only while the store observes the system.
    std::shared_ptr<WorkspaceNotificationCenter> workspace;
    std::shared_ptr<SystemPowerManagement> powerManagement;
    // The store's own live clock instead of `clock`.
    bool liveClock = false;
    bool observeWorkspace = true;
    bool performInitialAsyncInventoryRefresh = true;
    bool performInitialDriveUsageRefresh = true;
    BerthkeepStore::Timing timing;
};

} // namespace berthkeep::storetest
