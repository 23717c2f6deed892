#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace berthkeep {

// Why a drive is still in use; each case names the usage signal of the same name.
enum class BerthkeepAttentionReasonCode {
    openFileUsage,
    cwdUsage,
    statfsActivity,
    fseventsActivity,
    viewerAssistActivity,
};

// Raw value ("OPEN_FILE_USAGE", ...); the "from" side is exact and case-sensitive.
std::string toString(BerthkeepAttentionReasonCode code);
std::optional<BerthkeepAttentionReasonCode> attentionReasonCodeFromString(std::string_view text);

} // namespace berthkeep
