#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Files/SetAsideFile.hpp"

namespace berthkeep {

// Replaces one file's whole content so that it holds the old bytes or the new
// ones, never a part or nothing: the bytes go to a temporary file beside it,
// every write is checked, the temporary is synced and closed, renamed over the
// file, and the folder is synced. On any failure before the rename the
// temporary is removed and the file is untouched. The folder must exist. A
// replaced file keeps its permissions, and a symbolic link its target (which is
// what gets replaced, also when it does not exist yet: the link is never
// replaced by a file); a new file gets 0666 less the umask.
//
// A writer remembers its last failure, so a caller that retries on every tick
// logs a full disk once: the same failure again is marked repeated until a
// write succeeds. The bytes of a failed write stay pending until a later write
// succeeds, so what the program meant to keep is not lost with a full disk:
// retryPending (and retryAllPending, for every live writer) writes them again.
// Any thread may call it; writes of one writer are serialised.
//
// A file the program could not read is kept rather than overwritten: after
// setAsideBeforeNextWrite, the next write (a retry included) keeps what is
// there aside once the new bytes are safe beside it, as a second link, and
// then replaces it. What can have no second link (a folder, another owner's
// file) swaps places with the new file in one step and then goes aside; only
// where the file system cannot swap is it moved aside just before the new
// file takes its place. So the path is never empty, but in that last case for
// one rename, and a write that fails leaves nothing aside and every earlier
// set-aside as it was: they make way only once the new file holds the path.
// A set-aside fails only where the system gives the old file no other name
// (a set-aside name in the way is passed over); it then fails the write,
// whose bytes stay pending like those of any failed write. Where every name
// is someone else's, the old file is given up (the report says so) and the
// write goes ahead.
class AtomicFileWriter {
public:
    struct Outcome {
        // What went wrong, with the file's path and the system's reason.
        std::optional<std::string> failure;
        // The same failure as the last write's: already reported.
        bool repeated = false;
        // The failure was moving the file there aside; it is untouched.
        bool setAsideFailed = false;

        bool succeeded() const { return !failure; }
        // A failure nobody has been told of yet.
        bool needsReport() const { return failure && !repeated; }
    };

    explicit AtomicFileWriter(std::string path);
    ~AtomicFileWriter();

    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    const std::string& path() const { return m_path; }
    Outcome write(std::string_view bytes);

    // The bytes of the last write when it failed; nothing once a write succeeded.
    std::optional<std::string> pendingBytes() const;
    bool hasPending() const;
    // Writes the pending bytes again; a success (also with nothing pending)
    // leaves nothing pending.
    Outcome retryPending();

    // What is at the path now goes aside (SetAsideFile, with `suffix`) when
    // the next write lands. `moved` hears once where it went and how (no
    // destination when there was nothing left to move), on the writing thread
    // with this writer's lock held. A set-aside already due stays as it is.
    using SetAsideReport = std::function<void(const SetAsideFile::Outcome& done)>;
    void setAsideBeforeNextWrite(std::string suffix, SetAsideReport moved = {});

    // Tries once every live writer's pending bytes, on the calling thread: true
    // when nothing is pending anywhere afterwards.
    static bool retryAllPending();
    // Told, on the failing thread and with no lock held, whenever a write fails
    // and leaves bytes pending. One observer per process; null removes it.
    static void setPendingObserver(std::function<void()> observer);

    // One replacement without memory of earlier ones: the failure, or nothing.
    static std::optional<std::string> replace(const std::string& path, std::string_view bytes);

    // A killed writer leaves its temporary ("<file>.tmp-<pid>-<n>") behind.
    // Removes those beside the target of `path` whose process is gone, or that
    // are older than `minimumAge` (the process id may since have been reused;
    // no write takes that long). Returns how many went.
    static std::size_t removeStaleTemporaries(const std::string& path,
                                              std::chrono::seconds minimumAge = defaultStaleAge);
    static constexpr std::chrono::seconds defaultStaleAge{600};

private:
    Outcome writeLocked(std::string_view bytes);

    struct SetAside {
        std::string suffix;
        SetAsideReport moved;
    };

    const std::string m_path;
    mutable std::mutex m_mutex;
    std::optional<std::string> m_lastFailure;
    std::optional<std::string> m_pending;
    std::optional<SetAside> m_setAside;
};

} // namespace berthkeep
