#include "Berthkeep/Domain/UTF8Text.hpp"

#include <cstdint>

namespace berthkeep {

std::optional<UTF8CodePoint> decodeUTF8CodePoint(std::string_view text, std::size_t offset) {
    const auto byte = [&](std::size_t index) {
        return static_cast<std::uint8_t>(text[offset + index]);
    };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) {
        return UTF8CodePoint{lead, 1};
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
    return UTF8CodePoint{value, length};
}

bool isValidUTF8(std::string_view text) {
    std::size_t offset = 0;
    while (offset < text.size()) {
        const auto decoded = decodeUTF8CodePoint(text, offset);
        if (!decoded) {
            return false;
        }
        offset += decoded->length;
    }
    return true;
}

std::string replacingInvalidUTF8(std::string_view text) {
    constexpr std::string_view replacement = "\xEF\xBF\xBD";
    std::string result;
    result.reserve(text.size());
    std::size_t offset = 0;
    while (offset < text.size()) {
        if (const auto decoded = decodeUTF8CodePoint(text, offset)) {
            result.append(text.substr(offset, decoded->length));
            offset += decoded->length;
        } else {
            result.append(replacement);
            ++offset;
        }
    }
    return result;
}

} // namespace berthkeep
