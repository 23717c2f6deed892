#pragma once

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QCoroTask>

#include "BerthkeepShared/BerthkeepLogger.hpp"
#include "BerthkeepShared/CancelToken.hpp"
#include "BerthkeepShared/Clock.hpp"
#include "BerthkeepShared/Detached.hpp"
#include "BerthkeepTelemetry/BerthkeepTelemetryQueueStore.hpp"
#include "BerthkeepTelemetry/BerthkeepTelemetryRecords.hpp"
#include "BerthkeepTelemetry/RustBerthkeepTelemetryBridge.hpp"

namespace berthkeep {

// The telemetry entry point for the rest of the program. Every member is called on
// the main thread and none fails: each record or flush is one processing pass on a
// serial work queue (load the queue file, hand queue, new events, configuration
// and consent to the core, save what it returns), and a failed pass is logged and
// its new events dropped. The caller's await ends when the pass and its log lines
// are done.
class BerthkeepTelemetryController final : public QObject {
public:
    // Whole seconds since 1970 UTC; the live one reads the system clock.
    using WallClock = std::function<std::int64_t()>;

    struct Options {
        // Flush timing. The live clock when null.
        std::shared_ptr<Clock> clock;
        // Where passes run, one at a time in submission order. A dedicated
        // single-thread pool when null.
        std::shared_ptr<Executor> workQueue;
        WallClock wallClock;
        // The operating system's major version written into events; read from
        // the system when absent.
        std::optional<int> operatingSystemMajorVersion;
    };

    BerthkeepTelemetryController(BerthkeepTelemetryConfiguration config,
                                 RustBerthkeepTelemetryBridge bridge,
                                 std::shared_ptr<BerthkeepTelemetryQueueStoring> queueStore,
                                 BerthkeepLogger logger, std::string appVersion,
                                 BerthkeepTelemetryConsent consent, Options options = {},
                                 QObject* parent = nullptr);

    // What the store uses: the live configuration, the core found next to the
    // program (or the missing transport), the queue file in Application Support
    // and the bundle's short version ("dev" without one).
    BerthkeepTelemetryController(BerthkeepLogger logger, BerthkeepTelemetryConsent consent,
                                 QObject* parent = nullptr);

    // Cancels the periodic flush.
    ~BerthkeepTelemetryController() override;

    void updateConsent(BerthkeepTelemetryConsent consent) { m_consent = consent; }
    bool anonymousImprovementEnabled() const { return m_consent.anonymousImprovementEnabled; }
    const BerthkeepTelemetryConfiguration& config() const { return m_config; }
    const std::string& appVersion() const { return m_appVersion; }

    // A flush every flushIntervalSeconds (at least one second), the first one
    // interval after the start. Only the first call starts anything.
    void startPeriodicFlush();
    void startPeriodicFlush(std::uint64_t intervalNanoseconds);
    bool hasPeriodicFlush() const { return m_periodicFlushToken != nullptr; }

    QCoro::Task<void> flushIfNeeded();
    QCoro::Task<void> recordOperational(std::string name, BerthkeepTelemetryPayload payload = {});
    QCoro::Task<void> recordAnonymousImprovement(std::string name,
                                                 BerthkeepTelemetryPayload payload = {});
    // The last anonymous event before the user opts out: sent with consent, and
    // every queued anonymous event removed before and after the core call.
    QCoro::Task<void>
    recordFinalAnonymousImprovementBeforeOptOut(std::string name,
                                                BerthkeepTelemetryPayload payload = {});

    // None: "". One to eight characters: that many "*". More: the first four,
    // "..." and the last four. Counted in user-perceived characters.
    static std::string maskSecret(std::string_view secret);

    // A new random identifier: upper-case UUID text.
    static std::string makeUUIDString();

private:
    enum class QueuePolicy { normal, finalAnonymousImprovementBeforeOptOut };

    // What a pass needs on the work queue. It holds no reference to the work
    // queue itself: the last one must never be dropped on the queue's own thread.
    struct PassWork {
        BerthkeepTelemetryConfiguration config;
        RustBerthkeepTelemetryBridge bridge;
        std::shared_ptr<BerthkeepTelemetryQueueStoring> queueStore;
        WallClock wallClock;
        // Also for a set-aside that a later write completes.
        BerthkeepLogger logger;
    };
    struct PassContext {
        PassWork work;
        std::shared_ptr<Executor> workQueue;
        // Shared by the controller's passes, read and set on the main thread only.
        std::shared_ptr<bool> missingEndpointNoted;
    };
    struct PassResult;

    BerthkeepTelemetryEvent makeEvent(std::string name, BerthkeepTelemetryCategory category,
                                      BerthkeepTelemetryPayload payload) const;
    PassContext passContext() const;
    QCoro::Task<void> process(std::vector<BerthkeepTelemetryEvent> newEvents,
                              std::optional<BerthkeepTelemetryConsent> consentOverride,
                              QueuePolicy policy) const;

    static PassResult runPass(const PassWork& context,
                              const std::vector<BerthkeepTelemetryEvent>& newEvents,
                              BerthkeepTelemetryConsent consent, QueuePolicy policy);
    static QCoro::Task<void> processPass(PassContext context,
                                         std::vector<BerthkeepTelemetryEvent> newEvents,
                                         BerthkeepTelemetryConsent consent, QueuePolicy policy);
    static QCoro::Task<void> periodicFlushLoop(QPointer<BerthkeepTelemetryController> controller,
                                               std::shared_ptr<Clock> clock,
                                               std::shared_ptr<CancelToken> token,
                                               Clock::Duration interval);

    BerthkeepTelemetryConfiguration m_config;
    RustBerthkeepTelemetryBridge m_bridge;
    std::shared_ptr<BerthkeepTelemetryQueueStoring> m_queueStore;
    BerthkeepLogger m_logger;
    std::string m_appVersion;
    BerthkeepTelemetryConsent m_consent;
    std::shared_ptr<CancelToken> m_periodicFlushToken;
    // Without an endpoint events wait in the queue; that is said once per launch.
    std::shared_ptr<bool> m_missingEndpointNoted = std::make_shared<bool>(false);
    std::shared_ptr<Executor> m_workQueue;
    std::shared_ptr<Clock> m_clock;
    WallClock m_wallClock;
    int m_operatingSystemMajorVersion;
};

} // namespace berthkeep
