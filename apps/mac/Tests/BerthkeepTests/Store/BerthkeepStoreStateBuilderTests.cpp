#include "Berthkeep/Store/BerthkeepStoreStateBuilder.hpp"

#include <gtest/gtest.h>

#include <set>

#include "StoreTestSupport.hpp"

namespace berthkeep {
namespace {

using storetest::drive;
using storetest::excluded;
using Input = BerthkeepStoreStateBuilderInput;
using Source = BerthkeepStorePresentationSource;

BerthkeepEvaluatedDrive evaluated(const std::string& id, const std::string& name,
                                  DriveStatus status = DriveStatus::safe) {
    return BerthkeepEvaluatedDrive{id, name, status, {}};
}

// The core's answer for the given drives, as SwiftBerthkeepCore would give it.
Input evaluatedInput(std::vector<DetectedDrive> detected,
                     std::vector<BerthkeepEvaluatedDrive> evaluatedDrives,
                     std::optional<std::string> coreNote = std::nullopt) {
    BerthkeepStateEvaluationOutput output;
    output.globalState = GlobalSafetyState::safe();
    output.scopeNote = std::move(coreNote);
    output.drives = std::move(evaluatedDrives);
    Input input;
    input.presentationSource = Source::evaluated(output);
    input.detectedDrives = std::move(detected);
    return input;
}

Input blockedInput(std::vector<DetectedDrive> detected) {
    Input input;
    input.presentationSource =
        Source::blocked(GlobalSafetyState::fullMonitoringVerifying(),
                        LastActionSummary{LastActionSummary::Result::stillBusy(1)});
    input.detectedDrives = std::move(detected);
    return input;
}

std::vector<std::string> actionTitles(const MenubarViewState& state) {
    std::vector<std::string> titles;
    for (const DriveAction& action : state.driveActions) {
        titles.push_back(action.driveID + ":" + action.title + (action.isEnabled ? "" : "(off)"));
    }
    return titles;
}

TEST(BerthkeepStoreStateBuilder, UtilityActionsAreAlwaysBothAndShareOneEnablingRule) {
    struct Case {
        const char* name;
        std::vector<DetectedDrive> drives;
        std::optional<TriggerReason> trigger;
        std::set<std::string> working;
        bool enabled;
    };
    const std::vector<Case> cases = {
        {"mounted managed drive", {drive("a", "A")}, std::nullopt, {}, true},
        {"no drives", {}, std::nullopt, {}, false},
        {"only unmounted", {drive("a", "A", false)}, std::nullopt, {}, false},
        {"only excluded", {excluded("a", "A")}, std::nullopt, {}, false},
        {"trigger running", {drive("a", "A")}, TriggerReason::systemSleep, {}, false},
        {"drive being worked on", {drive("a", "A"), drive("b", "B")}, std::nullopt, {"a"}, false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        for (Input input : {evaluatedInput(test.drives, {}), blockedInput(test.drives)}) {
            input.activeTrigger = test.trigger;
            input.workingDriveIDs = test.working;
            const auto state = BerthkeepStoreStateBuilder().build(input);
            ASSERT_EQ(state.utilityActions.size(), 2u);
            EXPECT_EQ(state.utilityActions[0],
                      (MenubarUtilityAction{MenubarUtilityAction::Kind::ejectAll, "Eject All",
                                            test.enabled}));
            EXPECT_EQ(state.utilityActions[1],
                      (MenubarUtilityAction{MenubarUtilityAction::Kind::ejectAndSleep,
                                            "Eject & Sleep", test.enabled}));
        }
    }
}

TEST(BerthkeepStoreStateBuilder, ScopeNotePartsAreDeduplicatedAndJoinedInOrder) {
    struct Case {
        const char* name;
        std::optional<std::string> coreNote;
        std::vector<DetectedDrive> drives;
        bool adaptive;
        std::optional<std::string> expected;
    };
    const std::string two = "2 excluded drives not managed automatically";
    const std::vector<Case> cases = {
        {"nothing to say", std::nullopt, {drive("a", "A")}, true, std::nullopt},
        {"learning off alone", std::nullopt, {}, false, "Adaptive app learning is off"},
        {"one excluded",
         std::nullopt,
         {excluded("a", "A")},
         true,
         "1 excluded drive not managed automatically"},
        {"core note equals the builder's",
         two,
         {excluded("a", "A"), excluded("b", "B")},
         false,
         two + " \u2022 Adaptive app learning is off"},
        {"core note of its own",
         std::string("Core says"),
         {excluded("a", "A")},
         false,
         "Core says \u2022 Adaptive app learning is off \u2022 "
         "1 excluded drive not managed automatically"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        Input input = evaluatedInput(test.drives, {}, test.coreNote);
        input.adaptiveTargetedAssistEnabled = test.adaptive;
        EXPECT_EQ(BerthkeepStoreStateBuilder().build(input).scopeNote, test.expected);
        if (!test.coreNote) {
            Input blocked = blockedInput(test.drives);
            blocked.adaptiveTargetedAssistEnabled = test.adaptive;
            EXPECT_EQ(BerthkeepStoreStateBuilder().build(blocked).scopeNote, test.expected);
        }
    }
}

TEST(BerthkeepStoreStateBuilder, DisplayNames) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"My_Backup--Disk  ", "My Backup Disk"},
        {"Plain", "Plain"},
        {"  spaced\t\tout\n", "spaced out"},
        {"___--_", "___--_"},
        {"", ""},
        {"Caf\u00E9_Photos", "Caf\u00E9 Photos"},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(BerthkeepStoreStateBuilder::displayName(name), expected) << name;
    }
}

TEST(BerthkeepStoreStateBuilder, EvaluatedRowsAndActionsFollowStatusMountAndWork) {
    // a: safe, being ejected; b: busy; c: not mounted, being mounted; d: not
    // mounted; e: excluded; f: core knows it, inventory does not; g: not mounted
    // without a BSD name.
    std::vector<DetectedDrive> detected = {
        drive("a", "A"),
        drive("b", "B"),
        drive("c", "C", false),
        drive("d", "D", false),
        excluded("e", "E"),
        DetectedDrive("g", "G", std::nullopt, DetectedDrive::Scope::managed, true)};
    Input input =
        evaluatedInput(detected, {evaluated("a", "A"), evaluated("b", "B", DriveStatus::busy),
                                  evaluated("c", "C", DriveStatus::notMounted),
                                  evaluated("d", "D", DriveStatus::notMounted),
                                  evaluated("e", "E", DriveStatus::excluded), evaluated("f", "F"),
                                  evaluated("g", "G", DriveStatus::notMounted)});
    input.workingDriveIDs = {"a"};
    input.mountingDriveIDs = {"c"};
    const auto state = BerthkeepStoreStateBuilder().build(input);

    EXPECT_EQ(actionTitles(state), (std::vector<std::string>{"a:Ejecting(off)", "b:Eject",
                                                             "c:Mounting(off)", "d:Mount(off)"}));
    ASSERT_EQ(state.drives.size(), 7u);
    EXPECT_EQ(state.drives[2].status, DriveStatus::mounting);
    EXPECT_EQ(state.drives[2].statusVisibility, DriveStatusVisibility::activity);
    EXPECT_EQ(state.drives[3].status, DriveStatus::notMounted);

    input.workingDriveIDs.clear();
    EXPECT_EQ(actionTitles(BerthkeepStoreStateBuilder().build(input)),
              (std::vector<std::string>{"a:Eject", "b:Eject", "c:Mounting(off)", "d:Mount"}));

    input.activeTrigger = TriggerReason::manualEjectAll;
    EXPECT_TRUE(BerthkeepStoreStateBuilder().build(input).driveActions.empty());
}

TEST(BerthkeepStoreStateBuilder, BlockedRowsComeFromTheInventory) {
    Input input = blockedInput({drive("a", "Backup_SSD"), drive("b", "B", false),
                                drive("c", "C", false), excluded("e", "E")});
    input.mountingDriveIDs = {"c"};
    const auto state = BerthkeepStoreStateBuilder().build(input);

    const std::vector<DriveRowState> expected = {
        {"a", "Backup SSD", DriveStatus::connected, DriveStatusVisibility::hidden, {}},
        {"b", "B", DriveStatus::notMounted, DriveStatusVisibility::activity, {}},
        {"c", "C", DriveStatus::mounting, DriveStatusVisibility::activity, {}},
        {"e", "E", DriveStatus::excluded, DriveStatusVisibility::neutral, {}}};
    EXPECT_EQ(state.drives, expected);
    EXPECT_EQ(state.globalState, GlobalSafetyState::fullMonitoringVerifying());
    EXPECT_EQ(state.lastAction, (LastActionSummary{LastActionSummary::Result::stillBusy(1)}));
    EXPECT_FALSE(state.primaryAction);
    EXPECT_EQ(actionTitles(state),
              (std::vector<std::string>{"a:Eject", "b:Mount", "c:Mounting(off)"}));
    EXPECT_EQ(state.driveActions[0].driveName, "Backup_SSD") << "actions keep the raw name";
}

TEST(BerthkeepStoreStateBuilder, GroupTitles) {
    struct Case {
        std::string representative;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"Travel_T7", "Travel T7 Drive"}, {"Backup SSD", "Backup SSD"},
        {"my usb stick", "my usb stick"}, {"Backups", "Backups Drive"},
        {"Camera-CARD", "Camera CARD"},   {"Disks", "Disks Drive"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.representative);
        // "zz" sorts second, so the representative is the mounted managed member.
        const auto state = BerthkeepStoreStateBuilder().build(evaluatedInput(
            {drive("a", test.representative, true, DetectedDrive::Scope::managed, "disk4s1",
                   "disk4"),
             drive("b", "zz", false, DetectedDrive::Scope::managed, "disk4s2", "disk4")},
            {evaluated("a", test.representative), evaluated("b", "zz")}));
        ASSERT_EQ(state.driveGroups.size(), 1u);
        EXPECT_EQ(state.driveGroups[0].title, std::optional<std::string>(test.expected));
    }
}

TEST(BerthkeepStoreStateBuilder, GroupsCollectVolumesOfOneDiskAndSortNaturally) {
    const auto state = BerthkeepStoreStateBuilder().build(evaluatedInput(
        {drive("photos", "Photos", true, DetectedDrive::Scope::managed, "disk4s1", "disk4"),
         drive("backup", "Backup", false, DetectedDrive::Scope::managed, "disk4s2", "disk4"),
         drive("ten", "Disk 10"), drive("nine", "Disk 9")},
        {evaluated("photos", "Photos"), evaluated("backup", "Backup", DriveStatus::notMounted),
         evaluated("ten", "Disk 10"), evaluated("nine", "Disk 9"), evaluated("ghost", "Ghost")}));

    const std::vector<DriveGroupState> expected = {
        {"nine", std::nullopt, {"nine"}},
        {"ten", std::nullopt, {"ten"}},
        {"ghost", std::nullopt, {"ghost"}},
        // Title from the first member that is managed and mounted.
        {"disk4", "Photos Drive", {"backup", "photos"}},
    };
    EXPECT_EQ(state.driveGroups, expected);
}

TEST(BerthkeepStoreStateBuilder, GroupTitleFallsBackWhenNoMemberIsManagedAndMounted) {
    const auto make = [](DetectedDrive::Scope second) {
        return evaluatedInput(
            {drive("a", "Alpha", false, DetectedDrive::Scope::excluded, "disk4s1", "disk4"),
             drive("b", "Beta", false, second, "disk4s2", "disk4")},
            {evaluated("a", "Alpha"), evaluated("b", "Beta")});
    };
    EXPECT_EQ(BerthkeepStoreStateBuilder()
                  .build(make(DetectedDrive::Scope::managed))
                  .driveGroups[0]
                  .title,
              std::optional<std::string>("Beta Drive"));
    EXPECT_EQ(BerthkeepStoreStateBuilder()
                  .build(make(DetectedDrive::Scope::excluded))
                  .driveGroups[0]
                  .title,
              std::optional<std::string>("Alpha Drive"));
}

TEST(BerthkeepStoreStateBuilder, EveryRowAppearsOnceInExactlyOneGroupAndDuplicatesTakeTheFirst) {
    const std::vector<DetectedDrive> detected = {
        drive("a", "First A", true, DetectedDrive::Scope::managed, "disk4s1", "disk4"),
        drive("a", "Second A", false, DetectedDrive::Scope::excluded, "disk9s1", "disk9"),
        drive("b", "B"), excluded("e", "E")};
    const std::vector<Input> inputs = {
        evaluatedInput(detected,
                       {evaluated("a", "First A"), evaluated("b", "B"),
                        evaluated("a", "Second A", DriveStatus::excluded),
                        evaluated("x", "Unknown"), evaluated("e", "E", DriveStatus::excluded)}),
        blockedInput(detected)};
    for (const Input& input : inputs) {
        const auto state = BerthkeepStoreStateBuilder().build(input);
        std::multiset<std::string> grouped;
        for (const auto& group : state.driveGroups) {
            grouped.insert(group.driveIDs.begin(), group.driveIDs.end());
        }
        std::multiset<std::string> rows;
        for (const auto& row : state.drives) {
            rows.insert(row.id);
        }
        EXPECT_EQ(grouped, rows);
        EXPECT_EQ(rows.count("a"), 1u);
        EXPECT_EQ(state.drives.front().name, "First A");
        std::set<std::string> actionIDs;
        for (const auto& action : state.driveActions) {
            EXPECT_TRUE(actionIDs.insert(action.id()).second) << action.id();
        }
        EXPECT_EQ(state.scopeNote,
                  std::optional<std::string>("1 excluded drive not managed automatically"));
    }
}

} // namespace
} // namespace berthkeep
