#pragma once

#include "Berthkeep/Domain/BerthkeepAttentionReasonCode.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace berthkeep {

// Usage evidence for one drive, as the activity monitor reports it. Snapshots travel
// in maps keyed by the drive's identifier.
struct DriveUsageSnapshot {
    std::int64_t openFileUsage = 0;
    std::int64_t cwdUsage = 0;
    bool statfsActivity = false;
    bool fseventsActivity = false;
    bool viewerAssistActivity = false;
    double ejectFailureRiskScore = 0.0;
    bool isBusy = false;
    std::optional<BerthkeepAttentionReasonCode> dominantAttentionReason;

    // No usage at all; equal to a default-built snapshot.
    static DriveUsageSnapshot zero() { return DriveUsageSnapshot{}; }

    // The dominant reason while busy, nothing otherwise; never more than one code.
    std::vector<BerthkeepAttentionReasonCode> reasonCodes() const;

    // Field by field; the risk score compares as IEEE numbers, so a NaN score makes a
    // snapshot unequal even to itself.
    bool operator==(const DriveUsageSnapshot&) const = default;
};

} // namespace berthkeep
