#include "BerthkeepShared/BerthkeepLogRouter.hpp"

namespace berthkeep {

void BerthkeepLogRouter::record(const BerthkeepLogEvent& event) {
    for (const auto& sink : sinks) {
        if (sink) {
            sink->record(event);
        }
    }
}

} // namespace berthkeep
