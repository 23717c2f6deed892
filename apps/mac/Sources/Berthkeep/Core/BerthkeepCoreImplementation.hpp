#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace berthkeep {

// Which decision core the program runs with, chosen once at launch.
enum class BerthkeepCoreImplementation {
    swift,        // the in-app core only
    rust,         // the core library, falling back to the in-app core on failure
    rustRequired, // the core library, with no fallback
};

// Trimmed of white space and line breaks, compared ignoring case: "swift", "rust",
// and "rust_required", "rust-required", "rust_strict" or "rust-strict" for the
// required library. Anything else, the empty string included, gives nothing.
std::optional<BerthkeepCoreImplementation> parseBerthkeepCoreImplementation(std::string_view text);

// The name in the audit line: "swift", "rust", "rust_required".
std::string toString(BerthkeepCoreImplementation implementation);

} // namespace berthkeep
