#pragma once

#include <memory>
#include <string>

#include "BerthkeepShared/BerthkeepLogSink.hpp"

namespace berthkeep {

class UnifiedLog;

// Writes each event as one public line to the unified log, under the subsystem
// and the event's category.
class BerthkeepOSLogSink final : public BerthkeepLogSink {
public:
    // log: the unified log to write to; the process's shared one when null.
    explicit BerthkeepOSLogSink(std::string subsystem, std::shared_ptr<UnifiedLog> log = nullptr);

    void record(const BerthkeepLogEvent& event) override;

    // "[name] message", then " | " and the sorted metadata when there is any.
    static std::string renderLine(const BerthkeepLogEvent& event);

    const std::string subsystem;

private:
    std::shared_ptr<UnifiedLog> m_log;
};

} // namespace berthkeep
