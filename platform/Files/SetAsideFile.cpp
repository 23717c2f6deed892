#include "platform/Files/SetAsideFile.hpp"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

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

SetAsideFile::Outcome setAside(const std::string& path, const std::string& suffix, std::size_t kept,
                               bool keepAtPath) {
    SetAsideFile::Outcome outcome;
    const std::string target = AtomicFileWriter::resolvedTarget(path);
    if (!present(target)) {
        outcome.nothingToMove = true;
        return outcome;
    }
    const auto failed = [&](const std::string& why) {
        outcome.failure =
            std::string(keepAtPath ? "cannot keep " : "cannot move ") + target + " aside: " + why;
        return outcome;
    };
    const std::string first = target + suffix;
    const std::size_t slots = kept == 0 ? 1 : kept;
    // Straight into the first slot when it is free. Else first past the kept
    // ones, where only a set-aside cut short leaves anything, so that no
    // earlier one moves before the newest is safe.
    const std::string landing = present(first) ? slot(first, slots) : first;
    if (landing != first) {
        std::error_code ignored;
        std::filesystem::remove(landing, ignored);
    }
    const int placed = keepAtPath ? ::link(target.c_str(), landing.c_str())
                                  : ::rename(target.c_str(), landing.c_str());
    if (placed != 0) {
        const int error = errno;
        outcome.noSecondName =
            keepAtPath && (error == EPERM || error == EMLINK || error == EOPNOTSUPP);
        return failed(std::error_code(error, std::generic_category()).message());
    }
    if (landing != first) {
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
        // Never over a file that is still there (a move above that failed).
        const bool inTheWay = slots > 1 && present(first);
        if (inTheWay || ::rename(landing.c_str(), first.c_str()) != 0) {
            const int error = errno;
            if (keepAtPath) {
                ::unlink(landing.c_str());
            } else {
                ::rename(landing.c_str(), target.c_str());
            }
            return failed(inTheWay ? first + " is in the way"
                                   : std::error_code(error, std::generic_category()).message());
        }
    }
    outcome.destination = first;
    return outcome;
}

} // namespace

SetAsideFile::Outcome SetAsideFile::moveAside(const std::string& path, const std::string& suffix,
                                              std::size_t kept) {
    return setAside(path, suffix, kept, false);
}

SetAsideFile::Outcome SetAsideFile::linkAside(const std::string& path, const std::string& suffix,
                                              std::size_t kept) {
    return setAside(path, suffix, kept, true);
}

} // namespace berthkeep
