#pragma once

#include <string>

#include "BerthkeepTelemetry/BerthkeepTelemetryQueueStore.hpp"

namespace berthkeep::testsupport {

// A telemetry queue kept in memory, for tests that build a real controller.
class MemoryQueueStore final : public BerthkeepTelemetryQueueStoring {
public:
    BerthkeepTelemetryQueue load() const override { return queue; }
    void save(const BerthkeepTelemetryQueue& saved) const override { queue = saved; }
    void setAsideUndecodableQueue(AtomicFileWriter::SetAsideReport) const override {}

    mutable BerthkeepTelemetryQueue queue;
};

} // namespace berthkeep::testsupport
