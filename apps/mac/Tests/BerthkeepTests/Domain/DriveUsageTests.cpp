#include "Berthkeep/Domain/ActivityDetectionMode.hpp"
#include "Berthkeep/Domain/DriveUsageSnapshot.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <vector>

namespace berthkeep {
namespace {

using Code = BerthkeepAttentionReasonCode;

DriveUsageSnapshot busy(std::optional<Code> reason) {
    DriveUsageSnapshot usage;
    usage.openFileUsage = 1;
    usage.isBusy = true;
    usage.dominantAttentionReason = reason;
    return usage;
}

TEST(DriveUsageSnapshotTest, ReasonCodesOnlyWhileBusy) {
    DriveUsageSnapshot usage = busy(Code::cwdUsage);
    usage.openFileUsage = 5;
    EXPECT_EQ(usage.reasonCodes(), (std::vector<Code>{Code::cwdUsage}));

    usage.isBusy = false;
    usage.statfsActivity = true;
    EXPECT_TRUE(usage.reasonCodes().empty());

    EXPECT_TRUE(busy(std::nullopt).reasonCodes().empty());
}

TEST(DriveUsageSnapshotTest, EqualityComparesEveryFieldWithIeeeScores) {
    DriveUsageSnapshot zeroLike;
    zeroLike.openFileUsage = 0;
    EXPECT_EQ(zeroLike, DriveUsageSnapshot::zero());

    DriveUsageSnapshot low;
    low.ejectFailureRiskScore = 0.25;
    DriveUsageSnapshot high = low;
    high.ejectFailureRiskScore = 0.5;
    EXPECT_NE(low, high);
    EXPECT_EQ(low, DriveUsageSnapshot(low));

    DriveUsageSnapshot negativeZero;
    negativeZero.ejectFailureRiskScore = -0.0;
    EXPECT_EQ(negativeZero, DriveUsageSnapshot::zero());

    DriveUsageSnapshot notANumber;
    notANumber.ejectFailureRiskScore = std::numeric_limits<double>::quiet_NaN();
    const DriveUsageSnapshot copy = notANumber;
    EXPECT_NE(notANumber, copy);

    DriveUsageSnapshot reason = DriveUsageSnapshot::zero();
    reason.dominantAttentionReason = Code::openFileUsage;
    EXPECT_NE(reason, DriveUsageSnapshot::zero());
}

TEST(ActivityDetectionModeTest, RawValuesAndSignals) {
    struct Case {
        ActivityDetectionMode mode;
        const char* raw;
        bool activity;
        bool supplemental;
    };
    const std::vector<Case> cases{
        {ActivityDetectionMode::coreOnly, "core_only", false, false},
        {ActivityDetectionMode::standard, "standard", true, false},
        {ActivityDetectionMode::enhanced, "enhanced", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.raw);
        EXPECT_EQ(toString(c.mode), c.raw);
        EXPECT_EQ(activityDetectionModeFromString(c.raw), c.mode);
        EXPECT_EQ(usesActivitySignals(c.mode), c.activity);
        EXPECT_EQ(usesSupplementalSignals(c.mode), c.supplemental);
    }
    for (const char* other : {"Core_Only", "core-only", "ENHANCED", ""}) {
        EXPECT_EQ(activityDetectionModeFromString(other), std::nullopt) << other;
    }
}

} // namespace
} // namespace berthkeep
