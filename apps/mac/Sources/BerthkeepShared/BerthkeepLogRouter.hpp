#pragma once

#include <memory>
#include <vector>

#include "BerthkeepShared/BerthkeepLogSink.hpp"

namespace berthkeep {

// Hands every event to each of its sinks, in list order.
class BerthkeepLogRouter final : public BerthkeepLogSink {
public:
    explicit BerthkeepLogRouter(std::vector<std::shared_ptr<BerthkeepLogSink>> sinks)
        : sinks(std::move(sinks)) {}

    void record(const BerthkeepLogEvent& event) override;

    const std::vector<std::shared_ptr<BerthkeepLogSink>> sinks;
};

} // namespace berthkeep
