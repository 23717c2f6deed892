#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace berthkeep {

// Keeps a file the program cannot read for inspection while a fresh one takes
// its place. The newest goes to "<file><suffix>", the earlier ones move up to
// "<file><suffix>.1" and on; past `kept` files the oldest is replaced, and only
// once the newest is safe beside them, so a set-aside that fails costs none of
// the earlier ones. A name that is in the way (a folder where a file would go)
// never stops a set-aside: it is passed over, and the newest keeps the next
// free name past it, which `destination` says. So a set-aside fails only where
// the system refuses to give the file any other name. A symbolic link stays in
// place: what is set aside is the file it leads to.
class SetAsideFile {
public:
    struct Outcome {
        // Where the file went.
        std::optional<std::string> destination;
        // Nothing was there to move (a missing file, or a link to nothing).
        bool nothingToMove = false;
        // It went there as a second link (it was at its path too until it
        // was replaced).
        bool linked = false;
        // Why the file could not be set aside; it is then untouched.
        std::optional<std::string> failure;
        // linkAside only: the failure was that this file can have no second
        // name (a folder, another owner's file under protected hard links, a
        // file system without hard links).
        bool noSecondName = false;
        // exchangeAside only: the file system cannot exchange two names.
        bool noExchange = false;
    };

    static constexpr std::size_t defaultKept = 5;

    // The file leaves its path.
    static Outcome moveAside(const std::string& path, const std::string& suffix,
                             std::size_t kept = defaultKept);
    // The file stays at its path too, as a second link: the path is never
    // empty, whatever happens next.
    static Outcome linkAside(const std::string& path, const std::string& suffix,
                             std::size_t kept = defaultKept);
    // The file at `path` and `replacement` (in the same folder) swap names in
    // one step, so the path never lacks one of them; the old file then goes
    // aside. On any failure both are where they were.
    static Outcome exchangeAside(const std::string& path, const std::string& replacement,
                                 const std::string& suffix, std::size_t kept = defaultKept);
};

} // namespace berthkeep
