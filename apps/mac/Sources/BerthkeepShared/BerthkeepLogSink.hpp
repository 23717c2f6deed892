#pragma once

#include "BerthkeepShared/BerthkeepLogEvent.hpp"

namespace berthkeep {

// A consumer of log events; called on the main thread.
class BerthkeepLogSink {
public:
    virtual ~BerthkeepLogSink() = default;
    virtual void record(const BerthkeepLogEvent& event) = 0;
};

} // namespace berthkeep
