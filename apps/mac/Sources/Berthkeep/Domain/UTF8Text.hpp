#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace berthkeep {

struct UTF8CodePoint {
    char32_t value;
    std::size_t length; // in bytes
};

// The code point starting at offset (which must be inside the text), or nothing when the
// bytes there are not well-formed UTF-8: no overlong forms, no surrogates, nothing above
// U+10FFFF.
std::optional<UTF8CodePoint> decodeUTF8CodePoint(std::string_view text, std::size_t offset);

// Well-formed UTF-8 throughout.
bool isValidUTF8(std::string_view text);

// The text with every byte that does not belong to a well-formed sequence replaced by
// U+FFFD, for texts that may carry outside bytes to a reader who expects UTF-8.
std::string replacingInvalidUTF8(std::string_view text);

} // namespace berthkeep
