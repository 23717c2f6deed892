#pragma once

#include "Berthkeep/Domain/UTF8Text.hpp"

#include <string>
#include <string_view>

namespace berthkeep {

// The text without white space and line breaks at either end (ASCII and the
// Unicode space and line-separator characters). Text that is not valid UTF-8 is
// trimmed of ASCII white space only.
std::string trimmingWhitespaceAndNewlines(std::string_view text);

} // namespace berthkeep
