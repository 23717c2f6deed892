#pragma once

#include <cstddef>
#include <string>

namespace berthkeep::test {

// `depth` arrays, one inside the other. Far past the readers' bound (100,000 levels is
// 200 KB), a tree this deep overflows the stack of any recursive copy or comparison.
inline std::string nestedJsonArrays(std::size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

// A JSON object's text with one more member, "nested", holding `depth` arrays: for a
// top-level object, nesting depth + 1 levels in a document that is otherwise as valid
// as before (readers ignore members they do not know).
inline std::string withNestedMember(std::string objectText, std::size_t depth) {
    const std::size_t end = objectText.rfind('}');
    const bool empty = objectText.find_first_not_of(" \t\r\n", objectText.find('{') + 1) == end;
    objectText.insert(end, (empty ? "\"nested\":" : ",\"nested\":") + nestedJsonArrays(depth));
    return objectText;
}

} // namespace berthkeep::test
