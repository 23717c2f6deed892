#include "Berthkeep/Domain/BoundedJson.hpp"

#include <optional>
#include <string>

namespace berthkeep {

namespace {

using nlohmann::json;

// The offset of the first bracket that opens one level too many, counting only brackets
// outside strings. Up to the point where the parser would stop at a syntax error this is
// exactly its nesting, so no text it accepts, and no tree it starts, goes deeper.
std::optional<std::size_t> firstTooDeepBracket(std::string_view text) {
    std::size_t depth = 0;
    bool inString = false;
    for (std::size_t offset = 0; offset < text.size(); ++offset) {
        const char character = text[offset];
        if (inString) {
            if (character == '\\') {
                ++offset; // an escaped quote does not end the string
            } else if (character == '"') {
                inString = false;
            }
        } else if (character == '"') {
            inString = true;
        } else if (character == '[' || character == '{') {
            if (++depth > kMaximumJsonNestingDepth) {
                return offset;
            }
        } else if ((character == ']' || character == '}') && depth > 0) {
            --depth;
        }
    }
    return std::nullopt;
}

} // namespace

json parseBoundedJson(std::string_view text) {
    if (const auto offset = firstTooDeepBracket(text)) {
        // Counted from 1, as the parser counts the bytes it read.
        throw json::parse_error::create(101, *offset + 1,
                                        "arrays and objects nested deeper than " +
                                            std::to_string(kMaximumJsonNestingDepth) + " levels",
                                        nullptr);
    }
    return json::parse(text);
}

json parseBoundedJsonOrDiscarded(std::string_view text) {
    if (firstTooDeepBracket(text)) {
        return json(json::value_t::discarded);
    }
    return json::parse(text, nullptr, false);
}

} // namespace berthkeep
