#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Berthkeep/Domain/BerthkeepEvaluatedDrive.hpp"
#include "Berthkeep/Domain/DriveGroupState.hpp"
#include "Berthkeep/Domain/MenubarViewState.hpp"
#include "Berthkeep/Store/BerthkeepStoreStateBuilderInput.hpp"

namespace berthkeep {

// Turns one snapshot of the store's state into what the menu shows: rows, the
// per-drive and utility actions with their enabling rules, the scope note and
// the drive cards. Pure: the same input always gives the same state.
//
// Ids are meant to be unique; where a list repeats one, the first entry wins
// and the later ones are left out, so every row appears exactly once and in
// exactly one card.
class BerthkeepStoreStateBuilder final {
public:
    MenubarViewState build(const BerthkeepStoreStateBuilderInput& input) const;

    // "_" and "-" become blanks, blank runs collapse, the ends are trimmed; an
    // empty result keeps the name unchanged ("My_Backup--Disk  " -> "My Backup Disk").
    static std::string displayName(const std::string& name);

    static constexpr const char* adaptiveLearningOffNote = "Adaptive app learning is off";
    static constexpr const char* scopeNoteSeparator = " \u2022 ";

private:
    using DriveIndex = std::map<std::string, const DetectedDrive*>;

    static std::vector<DriveRowState> driveRows(const std::vector<BerthkeepEvaluatedDrive>& drives,
                                                const BerthkeepStoreStateBuilderInput& input);
    static std::vector<DriveAction> driveActions(const std::vector<BerthkeepEvaluatedDrive>& drives,
                                                 const DriveIndex& detectedDriveByID,
                                                 const BerthkeepStoreStateBuilderInput& input);
    static std::vector<DriveRowState>
    blockedDriveRows(const std::vector<DetectedDrive>& drives,
                     const BerthkeepStoreStateBuilderInput& input);
    static std::vector<DriveAction>
    blockedDriveActions(const std::vector<DetectedDrive>& drives,
                        const BerthkeepStoreStateBuilderInput& input);
    static std::vector<MenubarUtilityAction>
    utilityActions(const std::vector<DetectedDrive>& drives,
                   const BerthkeepStoreStateBuilderInput& input);
    static std::optional<std::string> summaryMetaNote(const std::optional<std::string>& base,
                                                      const std::vector<DetectedDrive>& drives,
                                                      bool adaptiveTargetedAssistEnabled);
    static std::optional<std::string> excludedScopeNote(const std::vector<DetectedDrive>& drives);

    // Drive cards (BerthkeepStoreStateBuilder+DriveGroups.cpp).
    static std::vector<DriveGroupState>
    driveGroups(const std::vector<BerthkeepEvaluatedDrive>& drives,
                const DriveIndex& detectedDriveByID);
    static std::optional<std::string>
    driveGroupTitle(const std::vector<BerthkeepEvaluatedDrive>& members,
                    const DriveIndex& detectedDriveByID);
};

} // namespace berthkeep
