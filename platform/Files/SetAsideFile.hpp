#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace berthkeep {

// Keeps a file the program cannot read for inspection while a fresh one takes
// its place. The kept ones are "<file><suffix>", "<file><suffix>.1" and on,
// newest first; past `kept` of them the oldest goes. A name something else
// holds (a folder, another owner's file, a link) is passed over and left as
// it is, so the newest are kept whatever is in the way.
//
// Two steps, so that a write that fails costs no earlier set-aside: link,
// exchange or move gives the file a working name beside the kept ones, never
// over anything; settle, once the new file holds the path, makes it the
// newest of them and only then lets the oldest go; withdraw, when the new
// file could not take the path, takes the working name back. One cut short
// by a kill stays under its working name and counts as the newest when the
// next one settles.
//
// A set-aside fails only where the system refuses the file any other name.
// With every name taken it goes over the oldest kept one, or, with none of
// those, it is given up. A symbolic link stays in place: what is set aside is
// the file it leads to.
class SetAsideFile {
public:
    struct Outcome {
        // Where the file is.
        std::optional<std::string> destination;
        // Nothing was there to move (a missing file, or a link to nothing).
        bool nothingToMove = false;
        // Every name is someone else's: the file is not kept, and its path
        // may be replaced.
        bool givenUp = false;
        // It went there as a second link (it was at its path too until it
        // was replaced).
        bool linked = false;
        // Why the file could not be set aside; it is then untouched.
        std::optional<std::string> failure;
        // link only: the failure was that this file can have no second name
        // (a folder, another owner's file under protected hard links, a file
        // system without hard links).
        bool noSecondName = false;
        // exchange only: the file system cannot exchange two names.
        bool noExchange = false;
    };

    static constexpr std::size_t defaultKept = 5;

    SetAsideFile(const std::string& path, std::string suffix, std::size_t kept = defaultKept);

    // The file stays at its path too, as a second link: the path is never
    // empty, whatever happens next.
    Outcome link();
    // The file at the path and `replacement` (in the same folder) swap names
    // in one step, so the path never lacks one of them. On any failure both
    // are where they were.
    Outcome exchange(const std::string& replacement);
    // The file leaves its path.
    Outcome move();
    // The file placed is the newest kept one now; where it went, or what the
    // step before found (nothing to move, given up).
    Outcome settle();
    // The file placed goes back: a second link goes, a moved file returns to
    // its path.
    void withdraw();

    // Both steps at once.
    static Outcome moveAside(const std::string& path, const std::string& suffix,
                             std::size_t kept = defaultKept);
    static Outcome linkAside(const std::string& path, const std::string& suffix,
                             std::size_t kept = defaultKept);

private:
    enum class Placed { nothing, linked, exchanged, moved };
    // Gives the file the name it is handed, never over anything there: 0, or
    // why not.
    using Give = std::function<int(const std::string& name)>;

    Outcome place(Placed how, const char* verb, const Give& give, int& error);

    std::string m_target;
    std::string m_first;
    std::size_t m_slots;
    Placed m_placed = Placed::nothing;
    std::size_t m_working = 0;
    Outcome m_outcome;
};

} // namespace berthkeep
