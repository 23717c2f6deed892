#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace berthkeep {

// Moves a file the program cannot read out of the way, so a fresh one can take
// its place while the old one stays for inspection. The newest goes to
// "<file><suffix>", the earlier ones move up to "<file><suffix>.1" and on; past
// `kept` files the oldest is removed. A symbolic link stays in place: what is set
// aside is the file it leads to.
class SetAsideFile {
public:
    struct Outcome {
        // Where the file went.
        std::optional<std::string> destination;
        // Nothing was there to move (a missing file, or a link to nothing).
        bool nothingToMove = false;
        // Why the file could not be moved; it is then untouched.
        std::optional<std::string> failure;
    };

    static constexpr std::size_t defaultKept = 5;

    static Outcome moveAside(const std::string& path, const std::string& suffix,
                             std::size_t kept = defaultKept);
};

} // namespace berthkeep
