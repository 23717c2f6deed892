#include "platform/Files/SetAsideFile.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

#include "platform/Files/ResolvedTarget.hpp"

namespace berthkeep {

namespace {

// How far past the kept names a set-aside looks for a free one while names
// are in the way.
constexpr std::size_t passLimit = 100;

std::string slotName(const std::string& first, std::size_t index) {
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

enum class Holder { nothing, keptFile, somethingElse };

// Only a regular file of this user's counts as one the program kept: what
// else is there (a folder, another user's file in a shared folder, a link)
// is not the program's to move or delete.
Holder holderOf(const std::string& name) {
    struct stat status {};
    if (::lstat(name.c_str(), &status) != 0) {
        return errno == ENOENT ? Holder::nothing : Holder::somethingElse;
    }
    return S_ISREG(status.st_mode) && status.st_uid == ::geteuid() ? Holder::keptFile
                                                                   : Holder::somethingElse;
}

// What holds each name, and the names the kept ones take: the first that
// nothing else holds.
struct Survey {
    std::string first;
    std::vector<Holder> holders;
    std::vector<std::size_t> slots;

    // `placed`: the one just set aside, whatever it is (a folder, another
    // owner's file), takes a slot like a kept one.
    Survey(std::string firstName, std::size_t wanted, std::optional<std::size_t> placed = {})
        : first(std::move(firstName)) {
        for (std::size_t index = 0; index <= wanted + passLimit; ++index) {
            holders.push_back(index == placed ? Holder::keptFile
                                              : holderOf(slotName(first, index)));
            if (slots.size() < wanted && holders.back() != Holder::somethingElse) {
                slots.push_back(index);
            }
        }
    }

    bool isFree(std::size_t index) const { return holders[index] == Holder::nothing; }

    // The kept ones, newest first: `newest` when given, then those past the
    // slots (cut short on their way in, so newer), then those in the slots.
    std::vector<std::size_t> keptNewestFirst(std::optional<std::size_t> newest) const {
        std::vector<std::size_t> order;
        if (newest) {
            order.push_back(*newest);
        }
        const auto kept = [&](std::size_t index) {
            return holders[index] == Holder::keptFile && index != newest;
        };
        for (std::size_t index = holders.size() - 1; index > slots.back(); --index) {
            if (kept(index)) {
                order.push_back(index);
            }
        }
        for (const std::size_t index : slots) {
            if (kept(index)) {
                order.push_back(index);
            }
        }
        return order;
    }

    // Moves each kept one to its name, none over another: in turns, as the
    // names free up. Returns where each of `from` ends.
    std::vector<std::size_t> moveTo(std::vector<std::size_t> from,
                                    const std::vector<std::size_t>& to) const {
        for (bool moved = true; moved;) {
            moved = false;
            for (std::size_t item = 0; item < from.size(); ++item) {
                if (from[item] != to[item] &&
                    renameNoReplace(slotName(first, from[item]), slotName(first, to[item])) == 0) {
                    from[item] = to[item];
                    moved = true;
                }
            }
        }
        return from;
    }
};

// Every name is taken: the first slot is freed by moving the kept ones in
// front of a free slot up one, or, with none free, by letting the oldest go.
// Where the new one can go.
std::size_t makeRoom(const Survey& survey) {
    const auto kept = survey.keptNewestFirst(std::nullopt);
    const auto gap = std::find_if(survey.slots.begin(), survey.slots.end(),
                                  [&](std::size_t index) { return survey.isFree(index); });
    std::size_t freed = 0;
    if (gap != survey.slots.end()) {
        freed = *gap;
    } else {
        freed = kept.back();
        ::unlink(slotName(survey.first, freed).c_str());
    }
    std::vector<std::size_t> from;
    std::vector<std::size_t> to;
    for (auto slot = survey.slots.begin(); slot + 1 < survey.slots.end() && *slot != freed;
         ++slot) {
        from.push_back(*slot);
        to.push_back(*(slot + 1));
    }
    survey.moveTo(from, to);
    return present(slotName(survey.first, survey.slots.front())) ? freed : survey.slots.front();
}

} // namespace

SetAsideFile::SetAsideFile(const std::string& path, std::string suffix, std::size_t kept)
    : m_target(resolvedTarget(path))
    , m_first(m_target + suffix)
    , m_slots(kept == 0 ? 1 : kept) {}

SetAsideFile::Outcome SetAsideFile::link() {
    int error = 0;
    m_outcome = place(
        Placed::linked, "cannot keep",
        [this](const std::string& name) {
            return ::link(m_target.c_str(), name.c_str()) == 0 ? 0 : errno;
        },
        error);
    m_outcome.noSecondName = error == EPERM || error == EMLINK || error == EOPNOTSUPP;
    return m_outcome;
}

SetAsideFile::Outcome SetAsideFile::exchange(const std::string& replacement) {
    // The replacement takes the working name, then the two swap in one step:
    // a kill at any moment leaves the path with the old file or the new one,
    // and the old one never under the replacement's temporary name, which is
    // cleared as a leftover.
    int error = 0;
    m_outcome = place(
        Placed::exchanged, "cannot move",
        [this, &replacement](const std::string& name) {
            if (const int taken = renameNoReplace(replacement, name)) {
                return taken;
            }
            if (::renameat2(AT_FDCWD, name.c_str(), AT_FDCWD, m_target.c_str(), RENAME_EXCHANGE) ==
                0) {
                return 0;
            }
            const int refused = errno;
            ::rename(name.c_str(), replacement.c_str());
            return refused;
        },
        error);
    m_outcome.noExchange = error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
    return m_outcome;
}

SetAsideFile::Outcome SetAsideFile::move() {
    int error = 0;
    m_outcome = place(
        Placed::moved, "cannot move",
        [this](const std::string& name) { return renameNoReplace(m_target, name); }, error);
    return m_outcome;
}

SetAsideFile::Outcome SetAsideFile::place(Placed how, const char* verb, const Give& give,
                                          int& error) {
    Outcome outcome;
    m_placed = Placed::nothing;
    if (!present(m_target)) {
        outcome.nothingToMove = true;
        return outcome;
    }
    const Survey survey(m_first, m_slots);
    if (survey.slots.empty()) {
        outcome.givenUp = true;
        return outcome;
    }
    std::optional<std::size_t> working;
    if (survey.isFree(survey.slots.front())) {
        working = survey.slots.front();
    } else {
        // Past the slots and every kept one there, so that one cut short
        // here counts as the newest of them.
        std::size_t after = survey.slots.back();
        for (const std::size_t index : survey.keptNewestFirst(std::nullopt)) {
            after = std::max(after, index);
        }
        for (std::size_t index = after + 1; index < survey.holders.size() && !working; ++index) {
            if (survey.isFree(index)) {
                working = index;
            }
        }
        if (!working) {
            working = makeRoom(survey);
        }
    }
    const std::string name = slotName(m_first, *working);
    if (const int given = give(name)) {
        error = given;
        outcome.failure = std::string(verb) + " " + m_target + " aside: " + describe(given);
        return outcome;
    }
    m_placed = how;
    m_working = *working;
    outcome.destination = name;
    outcome.linked = how == Placed::linked;
    return outcome;
}

SetAsideFile::Outcome SetAsideFile::settle() {
    if (m_placed == Placed::nothing) {
        return m_outcome;
    }
    m_placed = Placed::nothing;
    const Survey survey(m_first, m_slots, m_working);
    const auto order = survey.keptNewestFirst(m_working);
    const std::size_t keep = std::min(order.size(), survey.slots.size());
    // The oldest go only now that the new file holds the path.
    for (std::size_t item = keep; item < order.size(); ++item) {
        ::unlink(slotName(m_first, order[item]).c_str());
    }
    const std::vector<std::size_t> from(order.begin(), order.begin() + keep);
    const std::vector<std::size_t> to(survey.slots.begin(), survey.slots.begin() + keep);
    m_outcome.destination = slotName(m_first, survey.moveTo(from, to).front());
    return m_outcome;
}

void SetAsideFile::withdraw() {
    const std::string name = slotName(m_first, m_working);
    if (m_placed == Placed::linked) {
        ::unlink(name.c_str());
    } else if (m_placed == Placed::moved) {
        renameNoReplace(name, m_target);
    }
    m_placed = Placed::nothing;
}

SetAsideFile::Outcome SetAsideFile::moveAside(const std::string& path, const std::string& suffix,
                                              std::size_t kept) {
    SetAsideFile aside(path, suffix, kept);
    aside.move();
    return aside.settle();
}

SetAsideFile::Outcome SetAsideFile::linkAside(const std::string& path, const std::string& suffix,
                                              std::size_t kept) {
    SetAsideFile aside(path, suffix, kept);
    aside.link();
    return aside.settle();
}

} // namespace berthkeep
