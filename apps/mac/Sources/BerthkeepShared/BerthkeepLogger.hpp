#pragma once

#include <memory>
#include <string>

#include "BerthkeepShared/BerthkeepLogSink.hpp"

namespace berthkeep {

class UnifiedLog;

// The structured logger every component holds by value. Events are stamped with
// the wall-clock time when received and handed to the sink on the main thread:
// directly when called there, queued to the main event loop otherwise.
class BerthkeepLogger {
public:
    explicit BerthkeepLogger(std::shared_ptr<BerthkeepLogSink> sink)
        : sink(std::move(sink)) {}

    // A router whose only sink writes to the unified log under the subsystem.
    static BerthkeepLogger live(const std::string& subsystem,
                                std::shared_ptr<UnifiedLog> log = nullptr);

    void debug(BerthkeepLogCategory category, const std::string& name, const std::string& message,
               const BerthkeepLogMetadata& metadata) const;
    void notice(BerthkeepLogCategory category, const std::string& name, const std::string& message,
                const BerthkeepLogMetadata& metadata) const;
    void error(BerthkeepLogCategory category, const std::string& name, const std::string& message,
               const BerthkeepLogMetadata& metadata) const;
    void fault(BerthkeepLogCategory category, const std::string& name, const std::string& message,
               const BerthkeepLogMetadata& metadata) const;

    std::shared_ptr<BerthkeepLogSink> sink;

private:
    void log(BerthkeepLogLevel level, BerthkeepLogCategory category, const std::string& name,
             const std::string& message, const BerthkeepLogMetadata& metadata) const;
};

} // namespace berthkeep
