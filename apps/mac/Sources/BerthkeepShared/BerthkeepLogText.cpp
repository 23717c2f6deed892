#include "BerthkeepShared/BerthkeepLogText.hpp"

#include <algorithm>
#include <cstdio>

namespace berthkeep::BerthkeepLogText {

namespace {

void appendUnicodeEscape(std::string& out, unsigned code) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04X", code);
    out += buffer;
}

} // namespace

std::string escaped(std::string_view text) {
    std::string out;
    out.reserve(std::min(text.size(), maximumTextLength + 64));
    for (std::size_t index = 0; index < text.size(); ++index) {
        const auto byte = static_cast<unsigned char>(text[index]);
        // Never between the bytes of one character.
        const bool continuation = (byte & 0xC0) == 0x80;
        if (out.size() >= maximumTextLength && !continuation) {
            out += " [cut: " + std::to_string(text.size()) + " bytes in all]";
            break;
        }
        if (byte == '\n') {
            out += "\\n";
        } else if (byte == '\r') {
            out += "\\r";
        } else if (byte == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            appendUnicodeEscape(out, byte);
        } else if (byte == 0xC2 && index + 1 < text.size() &&
                   static_cast<unsigned char>(text[index + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[index + 1]) <= 0x9F) {
            // C1 controls (U+0080..U+009F), NEL among them.
            appendUnicodeEscape(out, static_cast<unsigned char>(text[index + 1]));
            ++index;
        } else if (byte == 0xE2 && index + 2 < text.size() &&
                   static_cast<unsigned char>(text[index + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[index + 2]) == 0xA8 ||
                    static_cast<unsigned char>(text[index + 2]) == 0xA9)) {
            appendUnicodeEscape(out, static_cast<unsigned char>(text[index + 2]) == 0xA8 ? 0x2028
                                                                                         : 0x2029);
            index += 2;
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

std::string renderMetadata(const BerthkeepLogMetadata& metadata) {
    // std::map keeps its keys in byte order already.
    std::string joined;
    for (const auto& [key, value] : metadata) {
        if (!joined.empty()) {
            joined += ' ';
        }
        joined += escaped(key);
        joined += '=';
        joined += escaped(value);
    }
    return joined;
}

std::string withMetadata(std::string_view text, const BerthkeepLogMetadata& metadata) {
    std::string line = escaped(text);
    const std::string joined = renderMetadata(metadata);
    if (!joined.empty()) {
        line += " | ";
        line += joined;
    }
    return line;
}

} // namespace berthkeep::BerthkeepLogText
