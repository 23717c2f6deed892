#pragma once

#include <string>
#include <string_view>

namespace berthkeep {

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUTF8(std::string_view text);

// The text without white space and line breaks at either end (ASCII and the
// Unicode space and line-separator characters). Text that is not valid UTF-8 is
// trimmed of ASCII white space only.
std::string trimmingWhitespaceAndNewlines(std::string_view text);

} // namespace berthkeep
