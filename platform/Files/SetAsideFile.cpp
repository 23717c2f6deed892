#include "platform/Files/SetAsideFile.hpp"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>

#include "platform/Files/AtomicFileWriter.hpp"

namespace berthkeep {

namespace {

std::string slot(const std::string& first, std::size_t index) {
    return index == 0 ? first : first + "." + std::to_string(index);
}

bool present(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

} // namespace

SetAsideFile::Outcome SetAsideFile::moveAside(const std::string& path, const std::string& suffix,
                                              std::size_t kept) {
    Outcome outcome;
    const std::string target = AtomicFileWriter::resolvedTarget(path);
    if (!present(target)) {
        outcome.nothingToMove = true;
        return outcome;
    }
    const std::string first = target + suffix;
    const std::size_t slots = kept == 0 ? 1 : kept;
    // Make room at the first slot: the oldest goes, the others move up one.
    std::error_code ignored;
    std::filesystem::remove(slot(first, slots - 1), ignored);
    for (std::size_t index = slots - 1; index > 0; --index) {
        if (present(slot(first, index - 1))) {
            std::filesystem::rename(slot(first, index - 1), slot(first, index), ignored);
        }
    }
    // Never over a file that is still there (a move above that failed).
    if (present(first)) {
        outcome.failure = "cannot move " + target + " aside: " + first + " is in the way";
        return outcome;
    }
    if (::rename(target.c_str(), first.c_str()) != 0) {
        outcome.failure = "cannot move " + target +
                          " aside: " + std::error_code(errno, std::generic_category()).message();
        return outcome;
    }
    outcome.destination = first;
    return outcome;
}

} // namespace berthkeep
