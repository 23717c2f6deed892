#include "Berthkeep/Domain/MenubarPreviewScenario.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace berthkeep {
namespace {

using Scenario = MenubarPreviewScenario;

std::vector<std::string> rowIDs(const MenubarViewState& state) {
    std::vector<std::string> ids;
    for (const DriveRowState& row : state.drives) {
        ids.push_back(row.id);
    }
    return ids;
}

TEST(MenubarPreviewScenarioTest, StatesAreStableAndDistinct) {
    for (std::size_t i = 0; i < allMenubarPreviewScenarios.size(); ++i) {
        const Scenario scenario = allMenubarPreviewScenarios[i];
        EXPECT_EQ(state(scenario), state(scenario));
        for (std::size_t j = i + 1; j < allMenubarPreviewScenarios.size(); ++j) {
            EXPECT_NE(state(scenario), state(allMenubarPreviewScenarios[j])) << i << " vs " << j;
        }
    }
}

TEST(MenubarPreviewScenarioTest, CommonShape) {
    for (Scenario scenario : allMenubarPreviewScenarios) {
        const MenubarViewState value = state(scenario);
        EXPECT_TRUE(value.utilityActions.empty());
        EXPECT_FALSE(value.primaryAction.has_value());
        EXPECT_FALSE(value.secondaryAction.has_value());
        EXPECT_TRUE(value.driveActions.empty());
        EXPECT_TRUE(value.driveGroups.empty());
        EXPECT_TRUE(value.lastAction.has_value());
        for (const DriveRowState& row : value.drives) {
            EXPECT_TRUE(row.attentionReasonCodes.empty());
        }
        const bool remediates = scenario == Scenario::limitedProtection ||
                                scenario == Scenario::fullMonitoringUnavailable;
        EXPECT_EQ(value.remediationAction.has_value(), remediates);
    }
}

TEST(MenubarPreviewScenarioTest, ScenarioContents) {
    struct Case {
        Scenario scenario;
        std::string header;
        std::vector<std::string> rows;
        std::string lastAction;
        std::optional<std::string> scopeNote;
    };
    const std::string oneExcluded = "1 excluded drive not managed automatically";
    const std::vector<Case> cases{
        {Scenario::limitedProtection,
         "Limited protection",
         {"backup-ssd", "travel-ssd"},
         "No managed drives found",
         std::nullopt},
        {Scenario::fullMonitoringUnavailable,
         "Full Monitoring unavailable",
         {"backup-ssd", "archive-ssd"},
         "1 drive still busy",
         std::nullopt},
        {Scenario::fullMonitoringVerifying,
         "Checking drive activity\u2026",
         {"backup-ssd"},
         "No managed drives found",
         std::nullopt},
        {Scenario::safe,
         "All managed drives safe",
         {"samsung-ssd", "backup-ssd"},
         "2 drives ejected",
         oneExcluded},
        {Scenario::attention,
         "1 drive still in use",
         {"backup-ssd", "samsung-ssd"},
         "1 drive still busy",
         std::nullopt},
        {Scenario::multipleDrivesBusy,
         "2 drives still in use",
         {"camera-card", "backup-ssd", "archive-ssd"},
         "2 drives still busy",
         oneExcluded},
        {Scenario::working,
         "Preparing drives for sleep\u2026",
         {"samsung-ssd", "backup-ssd"},
         "1 drive still busy",
         std::nullopt},
        {Scenario::noManagedDrives,
         "No managed drives connected",
         {},
         "No managed drives found",
         std::nullopt},
        {Scenario::excludedDrivesOnly,
         "No managed drives connected",
         {"archive-ssd", "travel-ssd"},
         "No managed drives found",
         "2 excluded drives not managed automatically"},
    };
    ASSERT_EQ(cases.size(), allMenubarPreviewScenarios.size());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        const MenubarViewState value = state(c.scenario);
        EXPECT_EQ(value.globalState.headerCopy(), c.header);
        EXPECT_EQ(rowIDs(value), c.rows);
        EXPECT_EQ(value.lastAction->text(), c.lastAction);
        EXPECT_EQ(value.scopeNote, c.scopeNote);
    }
}

TEST(MenubarPreviewScenarioTest, RowStatusesOfSelectedScenarios) {
    const MenubarViewState limited = state(Scenario::limitedProtection);
    EXPECT_EQ(limited.globalState,
              GlobalSafetyState::limitedProtection("Some app activity may not be detected"));
    EXPECT_EQ(limited.remediationAction, MenubarRemediationAction::enableFullMonitoring());
    EXPECT_EQ(limited.drives[0], (DriveRowState{"backup-ssd",
                                                "Backup SSD",
                                                DriveStatus::connected,
                                                DriveStatusVisibility::hidden,
                                                {}}));
    EXPECT_EQ(limited.drives[1], (DriveRowState{"travel-ssd",
                                                "Travel SSD",
                                                DriveStatus::notMounted,
                                                DriveStatusVisibility::activity,
                                                {}}));
    EXPECT_EQ(limited.managedDriveCountText(), "2 managed drives connected");

    EXPECT_EQ(state(Scenario::fullMonitoringUnavailable).remediationAction,
              MenubarRemediationAction::openSystemSettings());

    const MenubarViewState working = state(Scenario::working);
    EXPECT_EQ(working.globalState.trigger(), TriggerReason::lidCloseSleep);
    for (const DriveRowState& row : working.drives) {
        EXPECT_EQ(row.status, DriveStatus::ejecting);
    }
    EXPECT_EQ(working.summarySupportingCopy(), "Ejecting 2 drives");

    const MenubarViewState busy = state(Scenario::multipleDrivesBusy);
    EXPECT_EQ(busy.drives[0].name, "Camera Card");
    EXPECT_EQ(busy.drives[2].status, DriveStatus::excluded);
    EXPECT_EQ(busy.drives[2].statusVisibility, DriveStatusVisibility::neutral);
}

} // namespace
} // namespace berthkeep
