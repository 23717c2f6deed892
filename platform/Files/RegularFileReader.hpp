#pragma once

#include <cstdint>
#include <string>

namespace berthkeep {

// Reads one of the program's own files without ever waiting on it. A named
// pipe or a device put at the path would hold a plain open until someone
// writes to it, and with it the thread that reads (the main thread, or the
// usage probe a sleep waits for). So the path is opened without blocking, and
// only a regular file (links followed) is read, at most `maximumSize` bytes;
// anything else is a problem the caller treats as an unreadable file.
class RegularFileReader {
public:
    enum class Status {
        read,
        // No file there, or a link to nothing.
        missing,
        // A folder, a pipe, a device or a socket: nothing to read.
        notRegular,
        // More than maximumSize bytes; none were kept.
        tooLarge,
        // Opening or reading failed; `problem` says why.
        failed,
    };

    struct Result {
        Status status = Status::failed;
        // The whole file, when read.
        std::string bytes;
        // Why it was not read, for a log line; empty when read or missing.
        std::string problem;

        bool succeeded() const { return status == Status::read; }
    };

    static Result read(const std::string& path, std::int64_t maximumSize);
};

} // namespace berthkeep
