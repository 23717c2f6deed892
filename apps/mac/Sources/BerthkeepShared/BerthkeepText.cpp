#include "BerthkeepShared/BerthkeepText.hpp"

#include <cstdint>
#include <optional>

namespace berthkeep {

namespace {

struct DecodedCodePoint {
    char32_t value;
    std::size_t length;
};

// The code point starting at offset, or nothing when the bytes there are not UTF-8.
std::optional<DecodedCodePoint> decodeAt(std::string_view text, std::size_t offset) {
    const auto byte = [&](std::size_t index) {
        return static_cast<std::uint8_t>(text[offset + index]);
    };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) {
        return DecodedCodePoint{lead, 1};
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (offset + length > text.size()) {
        return std::nullopt;
    }
    for (std::size_t index = 1; index < length; ++index) {
        const std::uint8_t continuation = byte(index);
        if ((continuation & 0xC0) != 0x80) {
            return std::nullopt;
        }
        value = (value << 6) | (continuation & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return std::nullopt;
    }
    return DecodedCodePoint{value, length};
}

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

bool isValidUTF8(std::string_view text) {
    std::size_t offset = 0;
    while (offset < text.size()) {
        const auto decoded = decodeAt(text, offset);
        if (!decoded) {
            return false;
        }
        offset += decoded->length;
    }
    return true;
}

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
        const auto decoded = decodeAt(text, offset);
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
