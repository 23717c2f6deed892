#include "BerthkeepShared/BerthkeepText.hpp"

#include <optional>

namespace berthkeep {

namespace {

bool isWhitespaceOrNewline(char32_t value) {
    switch (value) {
    case 0x09:
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x20:
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
        return true;
    default:
        return value >= 0x2000 && value <= 0x200A;
    }
}

bool isASCIIWhitespace(char value) {
    return value == ' ' || (value >= '\t' && value <= '\r');
}

} // namespace

std::string trimmingWhitespaceAndNewlines(std::string_view text) {
    if (!isValidUTF8(text)) {
        std::size_t begin = 0;
        std::size_t end = text.size();
        while (begin < end && isASCIIWhitespace(text[begin])) {
            ++begin;
        }
        while (end > begin && isASCIIWhitespace(text[end - 1])) {
            --end;
        }
        return std::string(text.substr(begin, end - begin));
    }

    // Walk once, remembering where the last non-space code point ends.
    std::size_t offset = 0;
    std::optional<std::size_t> begin;
    std::size_t end = 0;
    while (offset < text.size()) {
        const auto decoded = decodeUTF8CodePoint(text, offset);
        if (!isWhitespaceOrNewline(decoded->value)) {
            if (!begin) {
                begin = offset;
            }
            end = offset + decoded->length;
        }
        offset += decoded->length;
    }
    if (!begin) {
        return {};
    }
    return std::string(text.substr(*begin, end - *begin));
}

} // namespace berthkeep
