#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "BerthkeepShared/BerthkeepLogEvent.hpp"

namespace berthkeep {

// Rendering shared by the structured logger and the start-up audit.
namespace BerthkeepLogText {

// What one text (the message, a name, one metadata value) may carry onto a
// line: a disk tool's error output can run to megabytes.
inline constexpr std::size_t maximumTextLength = 4096;

// Control characters become visible escapes ("\n", "\r", "\t", "\u00XX", and
// "\u2028"/"\u2029" for the Unicode line breaks), so text from outside (a volume
// name, a path) can never start a forged line. Everything else is unchanged,
// except that text past maximumTextLength (escapes counted) is cut at a
// character boundary and marked "[cut: N bytes in all]".
std::string escaped(std::string_view text);

// "key=value" entries sorted by key (byte order), joined by single blanks.
std::string renderMetadata(const BerthkeepLogMetadata& metadata);

// text, then " | " and the rendered metadata when there is any.
std::string withMetadata(std::string_view text, const BerthkeepLogMetadata& metadata);

} // namespace BerthkeepLogText

} // namespace berthkeep
