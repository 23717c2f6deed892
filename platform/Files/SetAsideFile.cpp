#include "platform/Files/SetAsideFile.hpp"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "platform/Files/AtomicFileWriter.hpp"

namespace berthkeep {

namespace {

// How far past the kept slots a set-aside looks for a free name while slots
// are in the way.
constexpr std::size_t passLimit = 100;

std::string slot(const std::string& first, std::size_t index) {
    return index == 0 ? first : first + "." + std::to_string(index);
}

bool present(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

// A rename that never replaces what is there: EEXIST then.
int renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // A file system without the flag: looked at first instead.
    if (present(to)) {
        return EEXIST;
    }
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

std::string describe(int error) {
    return std::error_code(error, std::generic_category()).message();
}

// Gives the file to be set aside the name it is handed, never over anything
// there: 0, or why not (EEXIST: the name is taken).
using Place = std::function<int(const std::string& name)>;

// The newest goes to the first slot when it is free. Else it lands past the
// kept ones, where only a set-aside cut short leaves anything (or further on,
// where what is there cannot be cleared), the earlier ones move up, and it
// takes the first slot; so no earlier one moves before the newest is safe. A
// slot that cannot be rotated (a folder where a file would go) is passed
// over: the newest then keeps the next free name, and the chain stays as it is.
// `error` says why it failed, when it did.
SetAsideFile::Outcome setAside(const std::string& target, const std::string& suffix,
                               std::size_t kept, const char* verb, const Place& place, int& error) {
    SetAsideFile::Outcome outcome;
    error = 0;
    if (!present(target)) {
        outcome.nothingToMove = true;
        return outcome;
    }
    const auto failed = [&](int why) {
        error = why;
        outcome.failure = std::string(verb) + " " + target + " aside: " + describe(why);
        return outcome;
    };
    const std::string first = target + suffix;
    const std::size_t slots = kept == 0 ? 1 : kept;
    if (!present(first)) {
        const int placed = place(first);
        if (placed == 0) {
            outcome.destination = first;
            return outcome;
        }
        if (placed != EEXIST) {
            return failed(placed);
        }
    }
    const std::string scratch = slot(first, slots);
    std::error_code ignored;
    std::filesystem::remove(scratch, ignored);
    std::string landing = scratch;
    int placed = place(landing);
    for (std::size_t index = slots + 1; placed == EEXIST && index <= slots + passLimit; ++index) {
        landing = slot(first, index);
        placed = place(landing);
    }
    if (placed != 0) {
        return failed(placed);
    }
    // Each moves up one, as far as the first free slot; the oldest is
    // replaced only when none is free.
    std::size_t free = 1;
    while (free + 1 < slots && present(slot(first, free))) {
        ++free;
    }
    for (std::size_t index = slots > 1 ? free : 0; index > 0; --index) {
        if (::rename(slot(first, index - 1).c_str(), slot(first, index).c_str()) != 0) {
            break;
        }
    }
    // With one slot the one there is the oldest; with more, never over a file
    // that is still there (a move above that failed).
    const bool settled = slots == 1 ? ::rename(landing.c_str(), first.c_str()) == 0
                                    : renameNoReplace(landing, first) == 0;
    if (settled) {
        outcome.destination = first;
        return outcome;
    }
    outcome.destination = landing;
    if (landing == scratch) {
        // The next set-aside would clear it: a name of its own instead.
        for (std::size_t index = 1; index <= slots + passLimit; ++index) {
            const std::string name = slot(first, index);
            if (index != slots && renameNoReplace(landing, name) == 0) {
                outcome.destination = name;
                break;
            }
        }
    }
    return outcome;
}

} // namespace

SetAsideFile::Outcome SetAsideFile::moveAside(const std::string& path, const std::string& suffix,
                                              std::size_t kept) {
    const std::string target = AtomicFileWriter::resolvedTarget(path);
    int error = 0;
    return setAside(
        target, suffix, kept, "cannot move",
        [&](const std::string& name) { return renameNoReplace(target, name); }, error);
}

SetAsideFile::Outcome SetAsideFile::linkAside(const std::string& path, const std::string& suffix,
                                              std::size_t kept) {
    const std::string target = AtomicFileWriter::resolvedTarget(path);
    int error = 0;
    auto outcome = setAside(
        target, suffix, kept, "cannot keep",
        [&](const std::string& name) {
            return ::link(target.c_str(), name.c_str()) == 0 ? 0 : errno;
        },
        error);
    outcome.linked = outcome.destination.has_value();
    outcome.noSecondName = error == EPERM || error == EMLINK || error == EOPNOTSUPP;
    return outcome;
}

SetAsideFile::Outcome SetAsideFile::exchangeAside(const std::string& path,
                                                  const std::string& replacement,
                                                  const std::string& suffix, std::size_t kept) {
    const std::string target = AtomicFileWriter::resolvedTarget(path);
    // The replacement takes the set-aside's name, then the two swap in one
    // step: a kill at any moment leaves the path with the old file or the
    // new one, and the old one never under the replacement's temporary name,
    // which is cleared as a leftover.
    int error = 0;
    auto outcome = setAside(
        target, suffix, kept, "cannot move",
        [&](const std::string& name) {
            if (const int taken = renameNoReplace(replacement, name)) {
                return taken;
            }
            if (::renameat2(AT_FDCWD, name.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) ==
                0) {
                return 0;
            }
            const int refused = errno;
            ::rename(name.c_str(), replacement.c_str());
            return refused;
        },
        error);
    outcome.noExchange = error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
    return outcome;
}

} // namespace berthkeep
