#include "Berthkeep/Domain/SwiftBerthkeepCore.hpp"

#include <gtest/gtest.h>

#include <memory>

#include <string>
#include <vector>

namespace berthkeep {
namespace {

using Code = BerthkeepAttentionReasonCode;
using Disposition = BerthkeepActionPlan::Disposition;
using Ids = std::vector<std::string>;
using Result = LastActionSummary::Result;

DriveUsageSnapshot busy(std::optional<Code> reason) {
    DriveUsageSnapshot usage;
    usage.openFileUsage = 1;
    usage.isBusy = true;
    usage.dominantAttentionReason = reason;
    return usage;
}

BerthkeepCoreDrive managed(std::string id, bool mounted = true,
                           DriveUsageSnapshot usage = DriveUsageSnapshot::zero()) {
    return BerthkeepCoreDrive{id, id + " name", BerthkeepCoreDriveScope::managed, mounted, usage};
}

BerthkeepCoreDrive excluded(std::string id, bool mounted = true,
                            DriveUsageSnapshot usage = DriveUsageSnapshot::zero()) {
    return BerthkeepCoreDrive{id, id + " name", BerthkeepCoreDriveScope::excluded, mounted, usage};
}

class SwiftBerthkeepCoreTest : public ::testing::Test {
protected:
    BerthkeepStateEvaluationOutput evaluate(std::vector<BerthkeepCoreDrive> drives,
                                            Ids working = {},
                                            std::optional<TriggerReason> trigger = std::nullopt) {
        return m_core.evaluateState(
            BerthkeepStateEvaluationInput{std::move(drives), std::move(working), trigger, {}});
    }

    BerthkeepActionPlan plan(TriggerReason trigger, std::vector<BerthkeepCoreDrive> drives,
                             Ids attention = {}) {
        return m_core.planAction(
            BerthkeepActionPlanningInput{trigger, std::move(drives), std::move(attention)});
    }

    BerthkeepActionSummaryOutput summarize(std::optional<TriggerReason> trigger, Ids attempted,
                                           Ids remaining, Ids confirmed = {}) {
        return m_core.summarizeAction(BerthkeepActionSummaryInput{
            trigger, std::move(attempted), std::move(remaining), std::move(confirmed)});
    }

    SwiftBerthkeepCore m_core;
};

TEST_F(SwiftBerthkeepCoreTest, EvaluatesNoDrivesAsNoManagedDrivesOrWorking) {
    const auto idle = evaluate({});
    EXPECT_EQ(idle.globalState, GlobalSafetyState::noManagedDrives());
    EXPECT_EQ(idle.scopeNote, std::nullopt);
    EXPECT_TRUE(idle.drives.empty());
    EXPECT_EQ(idle.primaryAction, std::nullopt);
    EXPECT_EQ(idle.secondaryAction, std::nullopt);

    const auto working = evaluate({}, {}, TriggerReason::lidCloseSleep);
    EXPECT_EQ(working.globalState, GlobalSafetyState::working(TriggerReason::lidCloseSleep));
}

TEST_F(SwiftBerthkeepCoreTest, ScopeNoteCountsExcludedDrives) {
    const auto two = evaluate({excluded("x"), excluded("y", false)});
    EXPECT_EQ(two.globalState, GlobalSafetyState::noManagedDrives());
    EXPECT_EQ(two.scopeNote, "2 excluded drives not managed automatically");
    ASSERT_EQ(two.drives.size(), 2u);
    EXPECT_EQ(two.drives[0].status, DriveStatus::excluded);
    EXPECT_EQ(two.drives[1].status, DriveStatus::excluded);

    // The note does not depend on the trigger.
    const auto one = evaluate({managed("a"), excluded("x")}, {"a"}, TriggerReason::manualEjectAll);
    EXPECT_EQ(one.scopeNote, "1 excluded drive not managed automatically");
}

TEST_F(SwiftBerthkeepCoreTest, GlobalStateFollowsBusyMountedManagedDrives) {
    // Unmounted managed drives are safe, not "no managed drives".
    const auto unmounted = evaluate({managed("a", false)});
    EXPECT_EQ(unmounted.globalState, GlobalSafetyState::safe());
    EXPECT_EQ(unmounted.drives[0].status, DriveStatus::notMounted);

    const auto withReason = evaluate({managed("a", true, busy(Code::openFileUsage)), managed("b")});
    EXPECT_EQ(withReason.globalState, GlobalSafetyState::attention(1));
    EXPECT_EQ(withReason.drives[0],
              (BerthkeepEvaluatedDrive{"a", "a name", DriveStatus::busy, {Code::openFileUsage}}));
    EXPECT_EQ(withReason.drives[1],
              (BerthkeepEvaluatedDrive{"b", "b name", DriveStatus::safe, {}}));

    // Busy without a reason counts for the global state but not for the row.
    const auto noReason = evaluate({managed("a", true, busy(std::nullopt))});
    EXPECT_EQ(noReason.globalState, GlobalSafetyState::attention(1));
    EXPECT_EQ(noReason.drives[0].status, DriveStatus::safe);
    EXPECT_TRUE(noReason.drives[0].attentionReasonCodes.empty());

    // Busy but unmounted or excluded drives do not count.
    const auto ignored = evaluate({managed("a", false, busy(Code::cwdUsage)),
                                   excluded("x", true, busy(Code::cwdUsage)), managed("b")});
    EXPECT_EQ(ignored.globalState, GlobalSafetyState::safe());

    // An active trigger wins over busy drives.
    const auto working =
        evaluate({managed("a", true, busy(Code::cwdUsage))}, {}, TriggerReason::manualRetry);
    EXPECT_EQ(working.globalState, GlobalSafetyState::working(TriggerReason::manualRetry));
}

TEST_F(SwiftBerthkeepCoreTest, DriveStatusRulesKeepCodesWhateverTheStatus) {
    const auto output = evaluate({managed("working-busy", true, busy(Code::statfsActivity)),
                                  managed("working-unmounted", false),
                                  excluded("excluded-busy", true, busy(Code::viewerAssistActivity)),
                                  managed("unmounted-busy", false, busy(Code::cwdUsage))},
                                 {"working-busy", "working-unmounted", "excluded-busy"});
    ASSERT_EQ(output.drives.size(), 4u);
    EXPECT_EQ(output.drives[0].status, DriveStatus::ejecting);
    EXPECT_EQ(output.drives[0].attentionReasonCodes, (std::vector<Code>{Code::statfsActivity}));
    EXPECT_EQ(output.drives[1].status, DriveStatus::notMounted);
    EXPECT_EQ(output.drives[2].status, DriveStatus::excluded);
    EXPECT_EQ(output.drives[2].attentionReasonCodes,
              (std::vector<Code>{Code::viewerAssistActivity}));
    EXPECT_EQ(output.drives[3].status, DriveStatus::notMounted);
    EXPECT_EQ(output.drives[3].attentionReasonCodes, (std::vector<Code>{Code::cwdUsage}));
}

TEST_F(SwiftBerthkeepCoreTest, LastActionPassesThroughUnchanged) {
    const LastActionSummary last{Result::partialSuccess(2, 1)};
    const auto output = m_core.evaluateState(
        BerthkeepStateEvaluationInput{{managed("a")}, {"a"}, TriggerReason::systemSleep, last});
    EXPECT_EQ(output.lastAction, last);
}

TEST_F(SwiftBerthkeepCoreTest, PlansMountedManagedDrivesInInputOrder) {
    const std::vector<BerthkeepCoreDrive> drives{managed("C", false), managed("B"), excluded("X"),
                                                 managed("A", true, busy(Code::cwdUsage))};
    for (TriggerReason trigger :
         {TriggerReason::systemSleep, TriggerReason::lidCloseSleep,
          TriggerReason::manualEjectAndSleep, TriggerReason::manualEjectAll}) {
        SCOPED_TRACE(toString(trigger));
        EXPECT_EQ(plan(trigger, drives), (BerthkeepActionPlan{Disposition::execute, {"B", "A"}}));
    }
    EXPECT_EQ(
        plan(TriggerReason::manualEjectAll, {managed("A"), excluded("B"), managed("C", false)}),
        (BerthkeepActionPlan{Disposition::execute, {"A"}}));
    EXPECT_EQ(plan(TriggerReason::manualEjectAll, {excluded("B"), managed("C", false)}),
              (BerthkeepActionPlan{Disposition::noTargets, {}}));
}

TEST_F(SwiftBerthkeepCoreTest, RetryAimsAtAttentionDrivesAndFallsBackToAll) {
    const std::vector<BerthkeepCoreDrive> drives{managed("A"), managed("B"), managed("C", false)};
    EXPECT_EQ(plan(TriggerReason::manualRetry, drives, {"B", "Z"}),
              (BerthkeepActionPlan{Disposition::execute, {"B"}}));
    EXPECT_EQ(plan(TriggerReason::manualRetry, drives, {"B", "A"}),
              (BerthkeepActionPlan{Disposition::execute, {"A", "B"}}));
    // Unmounted attention drives are no targets: fall back to every mounted managed drive.
    EXPECT_EQ(plan(TriggerReason::manualRetry, drives, {"Z", "C"}),
              (BerthkeepActionPlan{Disposition::execute, {"A", "B"}}));
    EXPECT_EQ(plan(TriggerReason::manualRetry, {managed("C", false)}, {"C"}),
              (BerthkeepActionPlan{Disposition::noTargets, {}}));
}

TEST_F(SwiftBerthkeepCoreTest, SummaryCountsStillBusyAndEjectedDrives) {
    struct Case {
        const char* name;
        Ids attempted;
        Ids remaining;
        Ids confirmed;
        Result result;
        Ids busyIDs;
    };
    const std::vector<Case> cases{
        {"partial", {"A", "B"}, {"B", "C"}, {}, Result::partialSuccess(1, 1), {"B"}},
        {"confirmed", {"A", "B"}, {"B", "C"}, {"B"}, Result::ejected(2), {}},
        {"duplicates", {"A", "A"}, {}, {}, Result::ejected(1), {}},
        {"all busy", {"B", "A"}, {"A", "B"}, {}, Result::stillBusy(2), {"A", "B"}},
        {"nothing attempted", {}, {"A"}, {"A"}, Result::noneFound(), {}},
        {"sorted",
         {"b", "A", "a", "c"},
         {"b", "A", "a"},
         {},
         Result::partialSuccess(1, 3),
         {"A", "a", "b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto output =
            summarize(TriggerReason::manualEjectAll, c.attempted, c.remaining, c.confirmed);
        EXPECT_EQ(output.lastAction, LastActionSummary{c.result});
        EXPECT_EQ(output.busyDriveIDs, c.busyIDs);
        EXPECT_EQ(output.pendingSleepFailureNotification, std::nullopt);
    }
}

TEST_F(SwiftBerthkeepCoreTest, SleepFailureNoticeOnlyForSleepTriggers) {
    struct Case {
        std::optional<TriggerReason> trigger;
        bool notifies;
    };
    const std::vector<Case> cases{
        {TriggerReason::systemSleep, true},         {TriggerReason::lidCloseSleep, true},
        {TriggerReason::manualEjectAndSleep, true}, {TriggerReason::manualEjectAll, false},
        {TriggerReason::manualRetry, false},        {std::nullopt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.trigger ? toString(*c.trigger) : "none");
        const auto busyLeft = summarize(c.trigger, {"A", "B", "C"}, {"A", "B"});
        if (c.notifies) {
            EXPECT_EQ(busyLeft.pendingSleepFailureNotification, PendingSleepFailureNotification{2});
        } else {
            EXPECT_EQ(busyLeft.pendingSleepFailureNotification, std::nullopt);
        }
        // Nothing left behind never notifies.
        EXPECT_EQ(summarize(c.trigger, {"A"}, {}).pendingSleepFailureNotification, std::nullopt);
    }
}

TEST_F(SwiftBerthkeepCoreTest, UsableThroughTheInterface) {
    std::unique_ptr<BerthkeepCoreHandling> core = std::make_unique<SwiftBerthkeepCore>();
    const auto output =
        core->evaluateState(BerthkeepStateEvaluationInput{{managed("a")}, {}, {}, {}});
    EXPECT_EQ(output.globalState, GlobalSafetyState::safe());
}

TEST(CoreRecordsTest, DefaultsOrderAndTexts) {
    EXPECT_EQ((BerthkeepCoreDrive{"a", "A", BerthkeepCoreDriveScope::managed, true}),
              (BerthkeepCoreDrive{"a", "A", BerthkeepCoreDriveScope::managed, true,
                                  DriveUsageSnapshot::zero()}));
    EXPECT_NE((BerthkeepActionPlanningInput{TriggerReason::manualRetry, {}, {"a", "b"}}),
              (BerthkeepActionPlanningInput{TriggerReason::manualRetry, {}, {"b", "a"}}));

    EXPECT_EQ(PendingSleepFailureNotification{1}.bodyText(),
              "Couldn\u2019t eject 1 drive before sleep");
    EXPECT_EQ(PendingSleepFailureNotification{2}.bodyText(),
              "Couldn\xE2\x80\x99t eject 2 drives before sleep");
    EXPECT_EQ(PendingSleepFailureNotification{0}.bodyText(),
              "Couldn\u2019t eject 0 drives before sleep");
}

TEST(CoreRecordsTest, RawValueEnumsRoundTripExactly) {
    for (auto code : {Code::openFileUsage, Code::cwdUsage, Code::statfsActivity,
                      Code::fseventsActivity, Code::viewerAssistActivity}) {
        EXPECT_EQ(attentionReasonCodeFromString(toString(code)), code);
    }
    EXPECT_EQ(toString(Code::viewerAssistActivity), "VIEWER_ASSIST_ACTIVITY");
    EXPECT_EQ(attentionReasonCodeFromString("CWD_USAGE"), Code::cwdUsage);
    EXPECT_EQ(attentionReasonCodeFromString("open_file_usage"), std::nullopt);

    EXPECT_EQ(coreDriveScopeFromString("managed"), BerthkeepCoreDriveScope::managed);
    EXPECT_EQ(coreDriveScopeFromString("excluded"), BerthkeepCoreDriveScope::excluded);
    EXPECT_EQ(coreDriveScopeFromString("Managed"), std::nullopt);
    EXPECT_EQ(toString(BerthkeepCoreDriveScope::excluded), "excluded");
}

} // namespace
} // namespace berthkeep
