#include "Berthkeep/Domain/DriveRowState.hpp"

namespace berthkeep {

std::optional<std::string> DriveRowState::attentionReasonCopy() const {
    if (status != DriveStatus::busy || attentionReasonCodes.empty()) {
        return std::nullopt;
    }
    switch (attentionReasonCodes.front()) {
    case BerthkeepAttentionReasonCode::openFileUsage:
        return "Files or folders are in use";
    case BerthkeepAttentionReasonCode::cwdUsage:
        return "An app is working from the drive";
    case BerthkeepAttentionReasonCode::statfsActivity:
    case BerthkeepAttentionReasonCode::fseventsActivity:
        return "Recent file activity detected";
    case BerthkeepAttentionReasonCode::viewerAssistActivity:
        return "Preview or Quick Look is using files";
    }
    return std::nullopt;
}

std::string DriveRowState::statusDetail() const {
    if (const auto reason = attentionReasonCopy()) {
        return label(status) + " \u00B7 " + *reason;
    }
    return label(status);
}

} // namespace berthkeep
