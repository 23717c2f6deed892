#pragma once

#include "Berthkeep/Domain/BerthkeepAttentionReasonCode.hpp"
#include "Berthkeep/Domain/DriveStatus.hpp"
#include "Berthkeep/Domain/DriveStatusVisibility.hpp"

#include <optional>
#include <string>
#include <vector>

namespace berthkeep {

// One row of the drive list. Identity (for list diffing) is `id`.
struct DriveRowState {
    std::string id;
    std::string name;
    DriveStatus status = DriveStatus::connected;
    DriveStatusVisibility statusVisibility = DriveStatusVisibility::neutral;
    // In the order the core gives them; only the first is ever put into words.
    std::vector<BerthkeepAttentionReasonCode> attentionReasonCodes;

    // Why a busy row is busy; absent for any other status or without codes.
    std::optional<std::string> attentionReasonCopy() const;
    // The status text of the row ("Still in use · Files or folders are in use").
    std::string statusDetail() const;

    bool operator==(const DriveRowState&) const = default;
};

} // namespace berthkeep
