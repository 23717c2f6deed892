#include "Berthkeep/Core/BerthkeepCoreImplementation.hpp"

#include <algorithm>

#include "BerthkeepShared/BerthkeepText.hpp"

namespace berthkeep {

std::optional<BerthkeepCoreImplementation> parseBerthkeepCoreImplementation(std::string_view text) {
    std::string value = trimmingWhitespaceAndNewlines(text);
    // Every accepted spelling is ASCII, so ASCII case folding is enough.
    std::transform(value.begin(), value.end(), value.begin(), [](char character) {
        return (character >= 'A' && character <= 'Z') ? static_cast<char>(character - 'A' + 'a')
                                                      : character;
    });
    if (value == "swift") {
        return BerthkeepCoreImplementation::swift;
    }
    if (value == "rust") {
        return BerthkeepCoreImplementation::rust;
    }
    if (value == "rust_required" || value == "rust-required" || value == "rust_strict" ||
        value == "rust-strict") {
        return BerthkeepCoreImplementation::rustRequired;
    }
    return std::nullopt;
}

std::string toString(BerthkeepCoreImplementation implementation) {
    switch (implementation) {
    case BerthkeepCoreImplementation::swift:
        return "swift";
    case BerthkeepCoreImplementation::rust:
        return "rust";
    case BerthkeepCoreImplementation::rustRequired:
        return "rust_required";
    }
    return "swift";
}

} // namespace berthkeep
