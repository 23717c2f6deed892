#include "Berthkeep/Domain/DriveUsageSnapshot.hpp"

namespace berthkeep {

std::vector<BerthkeepAttentionReasonCode> DriveUsageSnapshot::reasonCodes() const {
    if (!isBusy || !dominantAttentionReason) {
        return {};
    }
    return {*dominantAttentionReason};
}

} // namespace berthkeep
