#include "BerthkeepTelemetry/BerthkeepTelemetryController.hpp"

#include <QString>
#include <QTextBoundaryFinder>
#include <QUuid>

#include <chrono>
#include <limits>

#include "BerthkeepShared/BerthkeepFileManager.hpp"
#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "BerthkeepShared/MainActorTask.hpp"
#include "BerthkeepTelemetry/BerthkeepTelemetryWorkQueue.hpp"
#include "platform/Bundle/AppBundle.hpp"
#include "platform/System/OperatingSystemVersion.hpp"

namespace berthkeep {

struct BerthkeepTelemetryController::PassResult {
    std::optional<BerthkeepTelemetryOutput> output;
    BerthkeepLogMetadata requestMetadata;
    std::optional<std::string> failure;
    // The same failure as the last pass's: logged then.
    bool failureRepeated = false;
};

namespace {

std::int64_t systemSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

BerthkeepLogMetadata requestMetadata(const BerthkeepTelemetryConfiguration& config,
                                     const BerthkeepTelemetryQueue& queue,
                                     const std::vector<BerthkeepTelemetryEvent>& newEvents) {
    std::string names;
    std::string categories;
    for (std::size_t index = 0; index < newEvents.size(); ++index) {
        const auto& event = newEvents[index];
        if (index > 0) {
            names += ',';
            categories += ',';
        }
        names += event.name;
        categories += toString(event.category);
    }
    return {
        {"api_base_url", config.apiBaseURL},
        {"app_id", config.appID},
        {"app_key", BerthkeepTelemetryController::maskSecret(config.appKey)},
        {"queued_events", std::to_string(queue.items.size())},
        {"new_events", std::to_string(newEvents.size())},
        {"new_event_names", names},
        {"new_event_categories", categories},
    };
}

void removeAnonymousImprovement(BerthkeepTelemetryQueue& queue) {
    std::erase_if(queue.items, [](const BerthkeepTelemetryEvent& event) {
        return event.category == BerthkeepTelemetryCategory::anonymousImprovement;
    });
}

} // namespace

BerthkeepTelemetryController::BerthkeepTelemetryController(
    BerthkeepTelemetryConfiguration config, RustBerthkeepTelemetryBridge bridge,
    std::shared_ptr<BerthkeepTelemetryQueueStoring> queueStore, BerthkeepLogger logger,
    std::string appVersion, BerthkeepTelemetryConsent consent, Options options, QObject* parent)
    : QObject(parent)
    , m_config(std::move(config))
    , m_bridge(std::move(bridge))
    , m_queueStore(std::move(queueStore))
    , m_logger(std::move(logger))
    , m_appVersion(std::move(appVersion))
    , m_consent(consent)
    , m_workQueue(options.workQueue ? std::move(options.workQueue)
                                    : std::make_shared<BerthkeepTelemetryWorkQueue>(
                                          BerthkeepTelemetryWorkQueue::defaultLabel()))
    , m_clock(options.clock ? std::move(options.clock) : LiveClock::shared())
    , m_wallClock(options.wallClock ? std::move(options.wallClock) : WallClock(systemSeconds))
    , m_operatingSystemMajorVersion(options.operatingSystemMajorVersion.value_or(
          OperatingSystemVersion::current().majorVersion())) {
    if (!m_queueStore) {
        m_queueStore = std::make_shared<FileBerthkeepTelemetryQueueStore>();
    }
}

BerthkeepTelemetryController::BerthkeepTelemetryController(BerthkeepLogger logger,
                                                           BerthkeepTelemetryConsent consent,
                                                           QObject* parent)
    : BerthkeepTelemetryController(
          BerthkeepTelemetryConfiguration::live(BerthkeepProcessInfo::current()),
          RustBerthkeepTelemetryBridge(RustBerthkeepTelemetryBridge::makeDefaultTransport(
              BerthkeepProcessInfo::current(), BerthkeepFileManager::defaultManager())),
          std::make_shared<FileBerthkeepTelemetryQueueStore>(AppBundle::main()->bundleIdentifier()),
          std::move(logger), AppBundle::main()->shortVersion().value_or("dev"), consent, Options{},
          parent) {}

BerthkeepTelemetryController::~BerthkeepTelemetryController() {
    if (m_periodicFlushToken) {
        m_periodicFlushToken->cancel();
    }
}

void BerthkeepTelemetryController::startPeriodicFlush() {
    const std::int64_t seconds = std::max<std::int64_t>(m_config.flushIntervalSeconds, 1);
    constexpr std::uint64_t nanosecondsPerSecond = 1'000'000'000ULL;
    const auto limit = std::numeric_limits<std::uint64_t>::max() / nanosecondsPerSecond;
    // Beyond the range an unsigned 64-bit count of nanoseconds holds: the longest one.
    const std::uint64_t clamped =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(seconds), limit);
    startPeriodicFlush(clamped * nanosecondsPerSecond);
}

void BerthkeepTelemetryController::startPeriodicFlush(std::uint64_t intervalNanoseconds) {
    if (m_periodicFlushToken) {
        return;
    }
    m_periodicFlushToken = CancelToken::make();
    const auto maximum =
        static_cast<std::uint64_t>(std::numeric_limits<Clock::Duration::rep>::max());
    const auto interval = std::chrono::duration_cast<Clock::Duration>(std::chrono::nanoseconds(
        static_cast<std::chrono::nanoseconds::rep>(std::min(intervalNanoseconds, maximum))));
    startMainActorTask([controller = QPointer<BerthkeepTelemetryController>(this), clock = m_clock,
                        token = m_periodicFlushToken,
                        interval] { return periodicFlushLoop(controller, clock, token, interval); },
                       "telemetry periodic flush");
}

QCoro::Task<void> BerthkeepTelemetryController::periodicFlushLoop(
    QPointer<BerthkeepTelemetryController> controller, std::shared_ptr<Clock> clock,
    std::shared_ptr<CancelToken> token, Clock::Duration interval) {
    while (!token->isCancelled()) {
        const bool slept = co_await clock->sleep(interval, token);
        if (!slept || token->isCancelled()) {
            co_return;
        }
        if (!controller) {
            co_return;
        }
        co_await controller->flushIfNeeded();
    }
}

QCoro::Task<void> BerthkeepTelemetryController::flushIfNeeded() {
    return process({}, std::nullopt, QueuePolicy::normal);
}

QCoro::Task<void>
BerthkeepTelemetryController::recordOperational(std::string name,
                                                BerthkeepTelemetryPayload payload) {
    std::vector<BerthkeepTelemetryEvent> events{
        makeEvent(std::move(name), BerthkeepTelemetryCategory::operational, std::move(payload))};
    return process(std::move(events), std::nullopt, QueuePolicy::normal);
}

QCoro::Task<void>
BerthkeepTelemetryController::recordAnonymousImprovement(std::string name,
                                                         BerthkeepTelemetryPayload payload) {
    std::vector<BerthkeepTelemetryEvent> events{makeEvent(
        std::move(name), BerthkeepTelemetryCategory::anonymousImprovement, std::move(payload))};
    return process(std::move(events), std::nullopt, QueuePolicy::normal);
}

QCoro::Task<void> BerthkeepTelemetryController::recordFinalAnonymousImprovementBeforeOptOut(
    std::string name, BerthkeepTelemetryPayload payload) {
    std::vector<BerthkeepTelemetryEvent> events{makeEvent(
        std::move(name), BerthkeepTelemetryCategory::anonymousImprovement, std::move(payload))};
    return process(std::move(events), BerthkeepTelemetryConsent{true},
                   QueuePolicy::finalAnonymousImprovementBeforeOptOut);
}

BerthkeepTelemetryEvent
BerthkeepTelemetryController::makeEvent(std::string name, BerthkeepTelemetryCategory category,
                                        BerthkeepTelemetryPayload payload) const {
    // Only for the identifiers; any failure reads as no identifiers stored.
    BerthkeepTelemetryQueue stored;
    try {
        stored = m_queueStore->load();
    } catch (...) {
        stored = BerthkeepTelemetryQueue::empty;
    }
    BerthkeepTelemetryEvent event;
    event.eventID = makeUUIDString();
    event.name = std::move(name);
    event.category = category;
    event.occurredAt = m_wallClock();
    event.installID = stored.installID ? *stored.installID : makeUUIDString();
    event.sessionID = stored.sessionID ? *stored.sessionID : makeUUIDString();
    event.appVersion = m_appVersion;
    event.macOSMajorVersion = m_operatingSystemMajorVersion;
    event.payload = std::move(payload);
    return event;
}

BerthkeepTelemetryController::PassContext BerthkeepTelemetryController::passContext() const {
    return PassContext{PassWork{m_config, m_bridge, m_queueStore, m_wallClock, m_logger},
                       m_workQueue, m_missingEndpointNoted};
}

QCoro::Task<void>
BerthkeepTelemetryController::process(std::vector<BerthkeepTelemetryEvent> newEvents,
                                      std::optional<BerthkeepTelemetryConsent> consentOverride,
                                      QueuePolicy policy) const {
    // Not a coroutine itself: everything the pass needs is copied now, so the
    // controller may go away while the pass runs.
    return processPass(passContext(), std::move(newEvents), consentOverride.value_or(m_consent),
                       policy);
}

QCoro::Task<void>
BerthkeepTelemetryController::processPass(PassContext context,
                                          std::vector<BerthkeepTelemetryEvent> newEvents,
                                          BerthkeepTelemetryConsent consent, QueuePolicy policy) {
    auto work = [passWork = context.work, newEvents, consent, policy] {
        return runPass(passWork, newEvents, consent, policy);
    };
    const PassResult result = co_await runDetached(work, context.workQueue);
    const BerthkeepLogger& logger = context.work.logger;

    if (result.failure) {
        if (result.failureRepeated) {
            co_return;
        }
        logger.error(BerthkeepLogCategory::reliability, "telemetry.processing.failed",
                     "Telemetry processing failed", {{"error", *result.failure}});
        co_return;
    }
    logger.debug(BerthkeepLogCategory::reliability, "telemetry.request",
                 "Submitting telemetry batch", result.requestMetadata);
    if (result.output && result.output->lastError) {
        logger.error(BerthkeepLogCategory::reliability, "telemetry.upload.failed",
                     "Telemetry processing reported an error",
                     {{"error", *result.output->lastError},
                      {"uploaded_events", std::to_string(result.output->uploadedEvents)}});
    }
    if (result.output && context.work.config.apiBaseURL.empty() &&
        !result.output->queue.items.empty() && !*context.missingEndpointNoted) {
        *context.missingEndpointNoted = true;
        logger.notice(BerthkeepLogCategory::reliability, "telemetry.upload.skipped",
                      "No telemetry endpoint is configured; events stay queued",
                      {{"queued_events", std::to_string(result.output->queue.items.size())}});
    }
}

BerthkeepTelemetryController::PassResult
BerthkeepTelemetryController::runPass(const PassWork& context,
                                      const std::vector<BerthkeepTelemetryEvent>& newEvents,
                                      BerthkeepTelemetryConsent consent, QueuePolicy policy) {
    PassResult result;
    try {
        BerthkeepTelemetryQueue queue;
        try {
            queue = context.queueStore->load();
        } catch (const BerthkeepTelemetryQueueStoreError& error) {
            if (error.kind() != BerthkeepTelemetryQueueStoreError::Kind::undecodable) {
                throw;
            }
            // A file that never decodes again would fail every later pass and drop
            // every new event: keep it for inspection and start afresh. It goes
            // aside with the save that replaces it, this pass's or, on a full
            // disk, the retry's: the path is never without a queue.
            auto moved = [logger = context.logger,
                          reason = std::string(error.what())](const SetAsideFile::Outcome& done) {
                if (done.destination) {
                    logger.error(BerthkeepLogCategory::reliability, "telemetry.queue.set_aside",
                                 "Unreadable telemetry queue moved aside",
                                 {{"error", reason}, {"path", *done.destination}});
                } else if (done.givenUp) {
                    logger.error(BerthkeepLogCategory::reliability, "telemetry.queue.set_aside",
                                 "Unreadable telemetry queue replaced: no name was free to keep "
                                 "it under",
                                 {{"error", reason}});
                }
            };
            context.queueStore->setAsideUndecodableQueue(std::move(moved));
            queue = BerthkeepTelemetryQueue::empty;
        }

        const bool finalPass = policy == QueuePolicy::finalAnonymousImprovementBeforeOptOut;
        if (finalPass) {
            removeAnonymousImprovement(queue);
            queue.nextFlushAt.reset();
        }

        BerthkeepTelemetryInput input{context.config, consent, queue, newEvents,
                                      context.wallClock()};
        auto output = context.bridge.process(input);
        if (finalPass) {
            removeAnonymousImprovement(output.queue);
        }
        context.queueStore->save(output.queue);

        result.requestMetadata = requestMetadata(context.config, queue, newEvents);
        result.output = std::move(output);
    } catch (const BerthkeepTelemetryQueueStoreError& error) {
        result.failure = error.what();
        result.failureRepeated = error.repeated();
    } catch (const std::exception& error) {
        result.failure = error.what();
    } catch (...) {
        result.failure = "unknown failure";
    }
    return result;
}

std::string BerthkeepTelemetryController::maskSecret(std::string_view secret) {
    const QString text = QString::fromUtf8(secret.data(), static_cast<qsizetype>(secret.size()));
    std::vector<qsizetype> boundaries;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype position = finder.toNextBoundary(); position != -1;
         position = finder.toNextBoundary()) {
        boundaries.push_back(position);
    }
    const std::size_t count = boundaries.size();
    if (count == 0) {
        return {};
    }
    if (count <= 8) {
        return std::string(count, '*');
    }
    const qsizetype headEnd = boundaries[3];
    const qsizetype tailStart = boundaries[count - 5];
    return text.left(headEnd).toStdString() + "..." + text.mid(tailStart).toStdString();
}

std::string BerthkeepTelemetryController::makeUUIDString() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString();
}

} // namespace berthkeep
