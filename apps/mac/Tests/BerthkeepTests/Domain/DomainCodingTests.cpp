#include "Berthkeep/Domain/DomainCodingError.hpp"
#include "Berthkeep/Domain/DriveUsageSnapshotCoding.hpp"
#include "Berthkeep/Domain/PendingSleepFailureNotificationCoding.hpp"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace berthkeep {
namespace {

using json = nlohmann::json;
using Code = BerthkeepAttentionReasonCode;
using ErrorKind = DomainCodingError::Kind;

std::optional<ErrorKind> snapshotDecodingError(const char* text) {
    try {
        driveUsageSnapshotFromJson(json::parse(text));
    } catch (const DomainCodingError& error) {
        return error.kind();
    }
    return std::nullopt;
}

TEST(DriveUsageSnapshotCodingTest, WritesCamelCaseAndOmitsAnAbsentReason) {
    const json zero = toJson(DriveUsageSnapshot::zero());
    EXPECT_EQ(zero, json::parse(R"({"openFileUsage": 0, "cwdUsage": 0, "statfsActivity": false,
        "fseventsActivity": false, "viewerAssistActivity": false, "ejectFailureRiskScore": 0.0,
        "isBusy": false})"));
    EXPECT_FALSE(zero.contains("dominantAttentionReason"));

    DriveUsageSnapshot busy;
    busy.openFileUsage = 2;
    busy.isBusy = true;
    busy.ejectFailureRiskScore = 0.75;
    busy.dominantAttentionReason = Code::viewerAssistActivity;
    const json written = toJson(busy);
    EXPECT_EQ(written["dominantAttentionReason"], "VIEWER_ASSIST_ACTIVITY");
    EXPECT_EQ(driveUsageSnapshotFromJson(written), busy);
}

TEST(DriveUsageSnapshotCodingTest, RefusesToWriteANonFiniteScore) {
    DriveUsageSnapshot snapshot;
    snapshot.ejectFailureRiskScore = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW(toJson(snapshot), DomainCodingError);
    snapshot.ejectFailureRiskScore = std::numeric_limits<double>::infinity();
    EXPECT_THROW(toJson(snapshot), DomainCodingError);
}

TEST(DriveUsageSnapshotCodingTest, ReadsEitherKeyForm) {
    DriveUsageSnapshot expected;
    expected.openFileUsage = 1;
    expected.isBusy = true;
    expected.dominantAttentionReason = Code::openFileUsage;
    EXPECT_EQ(driveUsageSnapshotFromJson(json::parse(
                  R"({"open_file_usage": 1, "cwd_usage": 0, "is_busy": true,
                      "dominant_attention_reason": "OPEN_FILE_USAGE"})")),
              expected);

    // Both camelCase counts present: the snake_case keys are not looked at.
    const DriveUsageSnapshot camel = driveUsageSnapshotFromJson(
        json::parse(R"({"openFileUsage": 2, "cwdUsage": 1, "is_busy": true})"));
    EXPECT_EQ(camel.openFileUsage, 2);
    EXPECT_EQ(camel.cwdUsage, 1);
    EXPECT_FALSE(camel.isBusy);

    const DriveUsageSnapshot nullReason = driveUsageSnapshotFromJson(
        json::parse(R"({"openFileUsage": 0, "cwdUsage": 0, "dominantAttentionReason": null})"));
    EXPECT_EQ(nullReason, DriveUsageSnapshot::zero());

    // A null camelCase count falls back like an absent one.
    const DriveUsageSnapshot fallback = driveUsageSnapshotFromJson(json::parse(
        R"({"openFileUsage": null, "cwdUsage": 4, "open_file_usage": 3, "cwd_usage": 5})"));
    EXPECT_EQ(fallback.openFileUsage, 3);
    EXPECT_EQ(fallback.cwdUsage, 5);
}

TEST(DriveUsageSnapshotCodingTest, MalformedInputFailsWithItsKind) {
    struct Case {
        const char* text;
        ErrorKind kind;
    };
    const std::vector<Case> cases{
        {R"({"openFileUsage": 2, "cwd_usage": 1})", ErrorKind::keyNotFound},
        {R"({"openFileUsage": "two", "cwdUsage": 1, "open_file_usage": 1, "cwd_usage": 1})",
         ErrorKind::typeMismatch},
        {R"({"cwdUsage": "x", "open_file_usage": 1, "cwd_usage": 1})", ErrorKind::typeMismatch},
        {R"({"openFileUsage": 1, "cwdUsage": 1, "isBusy": 1})", ErrorKind::typeMismatch},
        {R"({"openFileUsage": 1, "cwdUsage": 1, "ejectFailureRiskScore": "high"})",
         ErrorKind::typeMismatch},
        {R"({"openFileUsage": 1, "cwdUsage": 1, "dominantAttentionReason": "open_file_usage"})",
         ErrorKind::dataCorrupted},
        {R"({"openFileUsage": 1.5, "cwdUsage": 1})", ErrorKind::typeMismatch},
        {R"({"openFileUsage": 18446744073709551615, "cwdUsage": 1})", ErrorKind::typeMismatch},
        {R"({"open_file_usage": null, "cwd_usage": 1})", ErrorKind::valueNotFound},
        {R"({"open_file_usage": 1, "cwd_usage": 1, "is_busy": "yes"})", ErrorKind::typeMismatch},
        {R"({})", ErrorKind::keyNotFound},
        {R"([1, 2])", ErrorKind::typeMismatch},
        {R"("busy")", ErrorKind::typeMismatch},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(snapshotDecodingError(c.text), c.kind);
    }
}

TEST(PendingSleepFailureNotificationCodingTest, RoundTripAndMalformedInput) {
    EXPECT_EQ(toJson(PendingSleepFailureNotification{1}),
              json::parse(R"({"failedDriveCount": 1})"));
    EXPECT_EQ(pendingSleepFailureNotificationFromJson(
                  json::parse(R"({"failedDriveCount": 3, "other": true})")),
              PendingSleepFailureNotification{3});
    EXPECT_EQ(pendingSleepFailureNotificationFromJson(json::parse(R"({"failedDriveCount": -2})")),
              PendingSleepFailureNotification{-2});

    for (const char* text :
         {R"({})", R"({"failedDriveCount": null})", R"({"failedDriveCount": "3"})",
          R"({"failedDriveCount": 2.5})", R"([3])"}) {
        EXPECT_THROW(pendingSleepFailureNotificationFromJson(json::parse(text)), DomainCodingError)
            << text;
    }
}

} // namespace
} // namespace berthkeep
