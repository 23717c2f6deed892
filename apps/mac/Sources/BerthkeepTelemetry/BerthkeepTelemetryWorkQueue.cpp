#include "BerthkeepTelemetry/BerthkeepTelemetryWorkQueue.hpp"

#include <QString>
#include <QThread>
#include <QThreadPool>

#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"

namespace berthkeep {

BerthkeepTelemetryWorkQueue::BerthkeepTelemetryWorkQueue(std::string label)
    : m_label(std::move(label))
    , m_pool(std::make_unique<QThreadPool>()) {
    // One thread makes the pool serial: queued work starts in FIFO order.
    m_pool->setMaxThreadCount(1);
    m_pool->setExpiryTimeout(-1);
    m_pool->setThreadPriority(QThread::LowPriority);
    m_pool->setObjectName(QString::fromStdString(m_label));
}

BerthkeepTelemetryWorkQueue::~BerthkeepTelemetryWorkQueue() {
    m_pool->waitForDone();
}

void BerthkeepTelemetryWorkQueue::execute(std::function<void()> work) {
    m_pool->start(countedUntilRun(std::move(work)));
}

std::string BerthkeepTelemetryWorkQueue::defaultLabel() {
    return BerthkeepRuntimeIdentity::currentBundleIdentifier() + ".telemetry";
}

} // namespace berthkeep
