#pragma once

#include <memory>
#include <string>

#include "BerthkeepShared/Detached.hpp"

class QThreadPool;

namespace berthkeep {

// A serial queue: one low-priority thread, work run strictly in submission order.
// Destroying it waits for the work already submitted.
class BerthkeepTelemetryWorkQueue final : public Executor {
public:
    explicit BerthkeepTelemetryWorkQueue(std::string label);
    ~BerthkeepTelemetryWorkQueue() override;

    BerthkeepTelemetryWorkQueue(const BerthkeepTelemetryWorkQueue&) = delete;
    BerthkeepTelemetryWorkQueue& operator=(const BerthkeepTelemetryWorkQueue&) = delete;

    void execute(std::function<void()> work) override;
    const std::string& label() const noexcept { return m_label; }

    // The bundle identifier followed by ".telemetry".
    static std::string defaultLabel();

private:
    std::string m_label;
    std::unique_ptr<QThreadPool> m_pool;
};

} // namespace berthkeep
