#include "Berthkeep/Domain/MenubarViewState.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace berthkeep {
namespace {

using Code = BerthkeepAttentionReasonCode;
using Result = LastActionSummary::Result;

DriveRowState row(std::string id, DriveStatus status, std::vector<Code> codes = {}) {
    return DriveRowState{id, id, status, DriveStatusVisibility::activity, std::move(codes)};
}

TEST(TriggerReasonTest, LabelsAndSerialisedFormsRoundTrip) {
    struct Case {
        TriggerReason trigger;
        const char* serialised;
        const char* label;
        bool sleeps;
    };
    const std::vector<Case> cases{
        {TriggerReason::systemSleep, "system_sleep", "System sleep", true},
        {TriggerReason::lidCloseSleep, "lid_close_sleep", "Lid close sleep", true},
        {TriggerReason::manualEjectAndSleep, "manual_eject_and_sleep", "Manual Eject & Sleep",
         true},
        {TriggerReason::manualEjectAll, "manual_eject_all", "Manual Eject All", false},
        {TriggerReason::manualRetry, "manual_retry", "Manual retry", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.serialised);
        EXPECT_EQ(toString(c.trigger), c.serialised);
        EXPECT_EQ(triggerReasonFromString(c.serialised), c.trigger);
        EXPECT_EQ(label(c.trigger), c.label);
        EXPECT_EQ(isSleepTrigger(c.trigger), c.sleeps);
    }
    EXPECT_EQ(triggerReasonFromString("systemSleep"), std::nullopt);
    EXPECT_EQ(triggerReasonFromString("SYSTEM_SLEEP"), std::nullopt);
    EXPECT_EQ(triggerReasonFromString(""), std::nullopt);
}

TEST(DriveStatusTest, LabelsAndSortPriorities) {
    struct Case {
        DriveStatus status;
        const char* label;
        int priority;
    };
    const std::vector<Case> cases{
        {DriveStatus::connected, "Connected", 4},  {DriveStatus::safe, "Safe", 5},
        {DriveStatus::busy, "Still in use", 0},    {DriveStatus::ejecting, "Ejecting", 1},
        {DriveStatus::mounting, "Mounting", 2},    {DriveStatus::notMounted, "Not mounted", 3},
        {DriveStatus::excluded, "Not managed", 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(label(c.status), c.label);
        EXPECT_EQ(sortPriority(c.status), c.priority);
    }
}

TEST(GlobalSafetyStateTest, HeaderAndSupportingCopyPerCase) {
    struct Case {
        GlobalSafetyState state;
        const char* header;
        const char* supporting;
    };
    const std::vector<Case> cases{
        {GlobalSafetyState::limitedProtection("Full Monitoring is off"), "Limited protection",
         "Full Monitoring is off"},
        {GlobalSafetyState::attention(0), "0 drives still in use",
         "Close apps using the drive and try again"},
        {GlobalSafetyState::attention(1), "1 drive still in use",
         "Close apps using the drive and try again"},
        {GlobalSafetyState::attention(3), "3 drives still in use",
         "Close apps using the drive and try again"},
        {GlobalSafetyState::working(TriggerReason::systemSleep), "Preparing drives for sleep\u2026",
         "Ejecting drives"},
        {GlobalSafetyState::working(TriggerReason::lidCloseSleep),
         "Preparing drives for sleep\u2026", "Ejecting drives"},
        {GlobalSafetyState::working(TriggerReason::manualEjectAndSleep),
         "Preparing drives for sleep\u2026", "Ejecting drives"},
        {GlobalSafetyState::working(TriggerReason::manualEjectAll), "Ejecting drives\u2026",
         "Ejecting drives"},
        {GlobalSafetyState::working(TriggerReason::manualRetry), "Ejecting drives\u2026",
         "Ejecting drives"},
        {GlobalSafetyState::noManagedDrives(), "No managed drives connected",
         "Connect a drive to monitor its safety status"},
        {GlobalSafetyState::fullMonitoringUnavailable(), "Full Monitoring unavailable",
         "Open Settings to finish setup"},
        {GlobalSafetyState::fullMonitoringVerifying(), "Checking drive activity\u2026",
         "Finishing Full Monitoring setup"},
        {GlobalSafetyState::safe(), "All managed drives safe", "No active use detected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        EXPECT_EQ(c.state.headerCopy(), c.header);
        EXPECT_EQ(c.state.supportingCopy(), c.supporting);
    }
    // The ellipsis is the one UTF-8 character, not three dots.
    EXPECT_EQ(GlobalSafetyState::fullMonitoringVerifying().headerCopy(),
              "Checking drive activity\xE2\x80\xA6");
}

TEST(GlobalSafetyStateTest, DescriptionNamesTheCaseAndItsPayload) {
    const std::vector<std::pair<GlobalSafetyState, std::string>> cases{
        {GlobalSafetyState::safe(), "safe"},
        {GlobalSafetyState(), "noManagedDrives"},
        {GlobalSafetyState::fullMonitoringVerifying(), "fullMonitoringVerifying"},
        {GlobalSafetyState::attention(-2), "attention(problemDriveCount: -2)"},
        {GlobalSafetyState::working(TriggerReason::lidCloseSleep),
         "working(trigger: lid_close_sleep)"},
        // A quote in the copy must not end the quoted payload early.
        {GlobalSafetyState::limitedProtection(R"(Say "hi" \ bye)"),
         R"(limitedProtection(supportingCopy: "Say \"hi\" \\ bye"))"},
    };
    for (const auto& [state, expected] : cases) {
        EXPECT_EQ(state.description(), expected);
    }
}

TEST(GlobalSafetyStateTest, EqualityAndPayloadAccessors) {
    EXPECT_EQ(GlobalSafetyState::attention(2), GlobalSafetyState::attention(2));
    EXPECT_NE(GlobalSafetyState::attention(2), GlobalSafetyState::attention(1));
    EXPECT_NE(GlobalSafetyState::working(TriggerReason::manualRetry),
              GlobalSafetyState::working(TriggerReason::systemSleep));
    EXPECT_NE(GlobalSafetyState::limitedProtection("a"), GlobalSafetyState::limitedProtection("b"));
    EXPECT_NE(GlobalSafetyState::safe(), GlobalSafetyState::noManagedDrives());
    EXPECT_EQ(GlobalSafetyState(), GlobalSafetyState::noManagedDrives());

    EXPECT_EQ(GlobalSafetyState::working(TriggerReason::manualRetry).trigger(),
              TriggerReason::manualRetry);
    EXPECT_EQ(GlobalSafetyState::safe().trigger(), std::nullopt);
    EXPECT_EQ(GlobalSafetyState::attention(4).problemDriveCount(), 4);
    EXPECT_EQ(GlobalSafetyState::working(TriggerReason::systemSleep).problemDriveCount(),
              std::nullopt);
}

TEST(DriveRowStateTest, AttentionReasonCopyWordsOnlyTheFirstCodeOfABusyRow) {
    struct Case {
        Code first;
        const char* text;
    };
    const std::vector<Case> cases{
        {Code::openFileUsage, "Files or folders are in use"},
        {Code::cwdUsage, "An app is working from the drive"},
        {Code::statfsActivity, "Recent file activity detected"},
        {Code::fseventsActivity, "Recent file activity detected"},
        {Code::viewerAssistActivity, "Preview or Quick Look is using files"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const DriveRowState busy = row("a", DriveStatus::busy, {c.first, Code::openFileUsage});
        EXPECT_EQ(busy.attentionReasonCopy(), c.text);
        EXPECT_EQ(busy.statusDetail(), std::string("Still in use \u00B7 ") + c.text);
    }

    const DriveRowState busyWithoutCodes = row("a", DriveStatus::busy);
    EXPECT_EQ(busyWithoutCodes.attentionReasonCopy(), std::nullopt);
    EXPECT_EQ(busyWithoutCodes.statusDetail(), "Still in use");

    const DriveRowState connectedWithCodes = row("a", DriveStatus::connected, {Code::cwdUsage});
    EXPECT_EQ(connectedWithCodes.attentionReasonCopy(), std::nullopt);
    EXPECT_EQ(connectedWithCodes.statusDetail(), "Connected");

    EXPECT_EQ(row("a", DriveStatus::busy, {Code::openFileUsage}).statusDetail(),
              "Still in use \xC2\xB7 Files or folders are in use");
}

TEST(LastActionSummaryTest, TextAndBusyResultPerOutcome) {
    struct Case {
        Result result;
        const char* text;
        bool busy;
    };
    const std::vector<Case> cases{
        {Result::ejected(1), "1 drive ejected", false},
        {Result::ejected(2), "2 drives ejected", false},
        {Result::partialSuccess(2, 1), "2 drives ejected, 1 drive still busy", true},
        {Result::partialSuccess(1, 3), "1 drive ejected, 3 drives still busy", true},
        {Result::stillBusy(1), "1 drive still busy", true},
        {Result::stillBusy(0), "0 drives still busy", true},
        {Result::noneFound(), "No managed drives found", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const LastActionSummary summary{c.result};
        EXPECT_EQ(summary.text(), c.text);
        EXPECT_EQ(summary.hasBusyResult(), c.busy);
    }
}

TEST(LastActionSummaryTest, ResultCountsKindsAndEquality) {
    EXPECT_EQ(Result::partialSuccess(2, 1).ejectedCount(), 2);
    EXPECT_EQ(Result::partialSuccess(2, 1).stillBusyCount(), 1);
    EXPECT_EQ(Result::ejected(3).stillBusyCount(), std::nullopt);
    EXPECT_EQ(Result::stillBusy(3).ejectedCount(), std::nullopt);
    EXPECT_EQ(Result::noneFound().ejectedCount(), std::nullopt);

    EXPECT_NE(Result::ejected(1), Result::stillBusy(1));
    EXPECT_NE(Result::partialSuccess(1, 2), Result::partialSuccess(2, 1));
    EXPECT_EQ(Result(), Result::noneFound());

    for (auto kind : {Result::Kind::ejected, Result::Kind::partialSuccess, Result::Kind::stillBusy,
                      Result::Kind::noneFound}) {
        EXPECT_EQ(lastActionResultKindFromString(toString(kind)), kind);
    }
    EXPECT_EQ(toString(Result::Kind::partialSuccess), "partialSuccess");
    EXPECT_EQ(lastActionResultKindFromString("partial_success"), std::nullopt);
}

TEST(MenuActionsTest, KindsIdentitiesAndSharedValues) {
    EXPECT_EQ(PrimaryAction::kindFromString("retryEject"), PrimaryAction::Kind::retryEject);
    EXPECT_EQ(PrimaryAction::kindFromString("ejectAndSleep"), PrimaryAction::Kind::ejectAndSleep);
    EXPECT_EQ(PrimaryAction::kindFromString("retry_eject"), std::nullopt);

    EXPECT_EQ(PrimaryAction::ejectAndSleep(),
              (PrimaryAction{PrimaryAction::Kind::ejectAndSleep, "Eject Drives & Sleep", true}));
    EXPECT_EQ(PrimaryAction::disabledEjectAndSleep(),
              (PrimaryAction{PrimaryAction::Kind::ejectAndSleep, "Eject Drives & Sleep", false}));
    EXPECT_EQ(PrimaryAction::retryEject(),
              (PrimaryAction{PrimaryAction::Kind::retryEject, "Retry Eject", true}));
    EXPECT_EQ(PrimaryAction::retryEject().id(), "retryEject");

    const DriveAction eject{"disk4", "Backup", DriveAction::Kind::eject, "Eject", true};
    EXPECT_EQ(eject.id(), "eject:disk4");
    EXPECT_EQ(DriveAction::kindFromString("mount"), DriveAction::Kind::mount);
    EXPECT_EQ(DriveAction::kindFromString("Mount"), std::nullopt);

    const MenubarUtilityAction ejectAll{MenubarUtilityAction::Kind::ejectAll, "Eject All", true};
    EXPECT_EQ(ejectAll.id(), "ejectAll");
    EXPECT_EQ(MenubarUtilityAction::kindFromString("ejectAndSleep"),
              MenubarUtilityAction::Kind::ejectAndSleep);
    EXPECT_EQ(MenubarUtilityAction::kindFromString("eject_all"), std::nullopt);
}

TEST(MenubarViewStateTest, SummarySupportingCopyPrefersEjectingRows) {
    MenubarViewState state;
    state.globalState = GlobalSafetyState::safe();
    state.drives = {row("a", DriveStatus::ejecting), row("b", DriveStatus::safe)};
    EXPECT_EQ(state.summarySupportingCopy(), "Ejecting 1 drive");

    state.globalState = GlobalSafetyState::working(TriggerReason::manualEjectAll);
    state.drives.push_back(row("c", DriveStatus::ejecting));
    EXPECT_EQ(state.ejectingRowCount(), 2);
    EXPECT_EQ(state.summarySupportingCopy(), "Ejecting 2 drives");

    state.drives = {row("a", DriveStatus::safe)};
    EXPECT_EQ(state.summarySupportingCopy(), "Ejecting drives");
}

TEST(MenubarViewStateTest, SummarySupportingCopyByGlobalState) {
    MenubarViewState state;
    state.globalState = GlobalSafetyState::attention(2);
    state.drives = {row("a", DriveStatus::busy), row("b", DriveStatus::safe, {Code::cwdUsage}),
                    row("c", DriveStatus::busy, {Code::fseventsActivity, Code::openFileUsage}),
                    row("d", DriveStatus::busy, {Code::openFileUsage})};
    // The first busy row with a code decides; a busy row without codes is skipped.
    EXPECT_EQ(state.attentionDetail(), "Recent file activity detected");
    EXPECT_EQ(state.summarySupportingCopy(),
              "Recent file activity detected. Try again after it stops");

    state.drives = {row("a", DriveStatus::busy)};
    EXPECT_EQ(state.summarySupportingCopy(), "Close apps using the drive and try again");

    state.globalState =
        GlobalSafetyState::limitedProtection("Some app activity may not be detected");
    EXPECT_EQ(state.summarySupportingCopy(), "Some app activity may not be detected");

    state.globalState = GlobalSafetyState::noManagedDrives();
    EXPECT_EQ(state.summarySupportingCopy(), "Connect a drive to monitor its safety status");
}

TEST(MenubarViewStateTest, LastActionTextAddsTheDetailOnlyToBusyResults) {
    MenubarViewState state;
    state.globalState = GlobalSafetyState::attention(1);
    state.drives = {row("a", DriveStatus::busy, {Code::cwdUsage})};
    EXPECT_EQ(state.lastActionText(), std::nullopt);

    state.lastAction = LastActionSummary{Result::partialSuccess(1, 1)};
    EXPECT_EQ(state.lastActionText(),
              "1 drive ejected, 1 drive still busy \u00B7 An app is working from the drive");

    state.lastAction = LastActionSummary{Result::ejected(2)};
    EXPECT_EQ(state.lastActionText(), "2 drives ejected");

    state.lastAction = LastActionSummary{Result::stillBusy(1)};
    state.drives = {row("a", DriveStatus::busy)};
    EXPECT_EQ(state.lastActionText(), "1 drive still busy");
}

TEST(MenubarViewStateTest, ManagedDriveCountTextOnlyUnderLimitedProtection) {
    MenubarViewState state;
    state.globalState = GlobalSafetyState::limitedProtection("Full Monitoring is off");
    state.drives = {row("x", DriveStatus::excluded)};
    EXPECT_EQ(state.managedDriveCountText(), std::nullopt);

    state.drives.push_back(row("a", DriveStatus::connected));
    EXPECT_EQ(state.managedDriveCountText(), "1 managed drive connected");

    state.drives.push_back(row("b", DriveStatus::notMounted));
    EXPECT_EQ(state.managedDriveCountText(), "2 managed drives connected");

    state.globalState = GlobalSafetyState::safe();
    EXPECT_EQ(state.managedDriveCountText(), std::nullopt);
}

TEST(MenubarViewStateTest, EqualityComparesListsInOrder) {
    MenubarViewState first;
    first.drives = {row("a", DriveStatus::safe), row("b", DriveStatus::safe)};
    MenubarViewState second = first;
    EXPECT_EQ(first, second);

    std::swap(second.drives[0], second.drives[1]);
    EXPECT_NE(first, second);

    second = first;
    second.drives[1].statusVisibility = DriveStatusVisibility::hidden;
    EXPECT_NE(first, second);

    second = first;
    second.driveGroups = {DriveGroupState{"disk4", std::nullopt, {"a", "b"}}};
    EXPECT_NE(first, second);
}

} // namespace
} // namespace berthkeep
