#include "BerthkeepShared/BerthkeepOSLogSink.hpp"

#include "BerthkeepShared/BerthkeepLogText.hpp"
#include "platform/Log/UnifiedLog.hpp"

namespace berthkeep {

BerthkeepOSLogSink::BerthkeepOSLogSink(std::string subsystem, std::shared_ptr<UnifiedLog> log)
    : subsystem(std::move(subsystem))
    , m_log(log ? std::move(log) : UnifiedLog::shared()) {}

std::string BerthkeepOSLogSink::renderLine(const BerthkeepLogEvent& event) {
    return "[" + BerthkeepLogText::escaped(event.name) + "] " +
           BerthkeepLogText::withMetadata(event.message, event.metadata);
}

void BerthkeepOSLogSink::record(const BerthkeepLogEvent& event) {
    const std::string category = toString(event.category);
    const UnifiedLogType type = unifiedLogType(event.level);
    if (!m_log->isEnabled(subsystem, category, type)) {
        return;
    }
    m_log->write(UnifiedLogEntry{subsystem, category, type, renderLine(event)});
}

} // namespace berthkeep
