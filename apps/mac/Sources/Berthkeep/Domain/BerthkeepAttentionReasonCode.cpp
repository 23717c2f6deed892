#include "Berthkeep/Domain/BerthkeepAttentionReasonCode.hpp"

#include <array>
#include <utility>

namespace berthkeep {

namespace {

constexpr std::array<std::pair<BerthkeepAttentionReasonCode, std::string_view>, 5> kRawValues{{
    {BerthkeepAttentionReasonCode::openFileUsage, "OPEN_FILE_USAGE"},
    {BerthkeepAttentionReasonCode::cwdUsage, "CWD_USAGE"},
    {BerthkeepAttentionReasonCode::statfsActivity, "STATFS_ACTIVITY"},
    {BerthkeepAttentionReasonCode::fseventsActivity, "FSEVENTS_ACTIVITY"},
    {BerthkeepAttentionReasonCode::viewerAssistActivity, "VIEWER_ASSIST_ACTIVITY"},
}};

} // namespace

std::string toString(BerthkeepAttentionReasonCode code) {
    for (const auto& [value, text] : kRawValues) {
        if (value == code) {
            return std::string(text);
        }
    }
    return {};
}

std::optional<BerthkeepAttentionReasonCode> attentionReasonCodeFromString(std::string_view text) {
    for (const auto& [value, raw] : kRawValues) {
        if (raw == text) {
            return value;
        }
    }
    return std::nullopt;
}

} // namespace berthkeep
