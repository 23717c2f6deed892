#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Berthkeep/Domain/LastActionSummary.hpp"

namespace berthkeep {

// The persisted form of the last action: {"kind": ..., "ejectedCount": n,
// "stillBusyCount": n}, each count present only where the kind carries it.
struct StoredLastActionSummary {
    using Kind = LastActionSummary::Result::Kind;

    Kind kind = Kind::noneFound;
    std::optional<std::int64_t> ejectedCount;
    std::optional<std::int64_t> stillBusyCount;

    static StoredLastActionSummary from(const LastActionSummary& summary);
    // An absent count reads as 0; a count the kind does not carry is ignored.
    LastActionSummary summary() const;

    // Compact UTF-8 JSON, absent counts left out.
    std::string encoded() const;
    // Nothing when the bytes are not such an object: not JSON, no "kind", a kind
    // other than the four (letter case counts), or a count that is not an
    // integer. Null counts as absent; other keys are ignored.
    static std::optional<StoredLastActionSummary> decode(const std::string& bytes);

    bool operator==(const StoredLastActionSummary&) const = default;
};

} // namespace berthkeep
