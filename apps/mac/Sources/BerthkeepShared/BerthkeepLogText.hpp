#pragma once

#include <string>
#include <string_view>

#include "BerthkeepShared/BerthkeepLogEvent.hpp"

namespace berthkeep {

// Rendering shared by the structured logger and the start-up audit.
namespace BerthkeepLogText {

// Control characters become visible escapes ("\n", "\r", "\t", "\u00XX", and
// "\u2028"/"\u2029" for the Unicode line breaks), so text from outside (a volume
// name, a path) can never start a forged line. Everything else is unchanged.
std::string escaped(std::string_view text);

// "key=value" entries sorted by key (byte order), joined by single blanks.
std::string renderMetadata(const BerthkeepLogMetadata& metadata);

// text, then " | " and the rendered metadata when there is any.
std::string withMetadata(std::string_view text, const BerthkeepLogMetadata& metadata);

} // namespace BerthkeepLogText

} // namespace berthkeep
