#include "BerthkeepShared/BerthkeepLogger.hpp"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include "BerthkeepShared/BerthkeepLogRouter.hpp"
#include "BerthkeepShared/BerthkeepOSLogSink.hpp"

namespace berthkeep {

BerthkeepLogger BerthkeepLogger::live(const std::string& subsystem,
                                      std::shared_ptr<UnifiedLog> log) {
    std::vector<std::shared_ptr<BerthkeepLogSink>> sinks{
        std::make_shared<BerthkeepOSLogSink>(subsystem, std::move(log))};
    return BerthkeepLogger(std::make_shared<BerthkeepLogRouter>(std::move(sinks)));
}

void BerthkeepLogger::debug(BerthkeepLogCategory category, const std::string& name,
                            const std::string& message,
                            const BerthkeepLogMetadata& metadata) const {
    log(BerthkeepLogLevel::debug, category, name, message, metadata);
}

void BerthkeepLogger::notice(BerthkeepLogCategory category, const std::string& name,
                             const std::string& message,
                             const BerthkeepLogMetadata& metadata) const {
    log(BerthkeepLogLevel::notice, category, name, message, metadata);
}

void BerthkeepLogger::error(BerthkeepLogCategory category, const std::string& name,
                            const std::string& message,
                            const BerthkeepLogMetadata& metadata) const {
    log(BerthkeepLogLevel::error, category, name, message, metadata);
}

void BerthkeepLogger::fault(BerthkeepLogCategory category, const std::string& name,
                            const std::string& message,
                            const BerthkeepLogMetadata& metadata) const {
    log(BerthkeepLogLevel::fault, category, name, message, metadata);
}

void BerthkeepLogger::log(BerthkeepLogLevel level, BerthkeepLogCategory category,
                          const std::string& name, const std::string& message,
                          const BerthkeepLogMetadata& metadata) const {
    if (!sink) {
        return;
    }
    BerthkeepLogEvent event{
        std::chrono::system_clock::now(), level, category, name, message, metadata};
    QCoreApplication* application = QCoreApplication::instance();
    // Without an application there is no main loop to hop to; deliver in place.
    if (!application || QThread::currentThread() == application->thread()) {
        sink->record(event);
        return;
    }
    QMetaObject::invokeMethod(
        application, [target = sink, event = std::move(event)]() { target->record(event); },
        Qt::QueuedConnection);
}

} // namespace berthkeep
