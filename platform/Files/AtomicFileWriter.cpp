#include "platform/Files/AtomicFileWriter.hpp"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "platform/Files/ResolvedTarget.hpp"
#include "platform/Files/SetAsideFile.hpp"

namespace berthkeep {

namespace {

std::string reason(int error) {
    return std::error_code(error, std::generic_category()).message();
}

std::string failure(const std::string& what, const std::string& path, int error) {
    return what + " " + path + ": " + reason(error);
}

// Closes the descriptor and removes the temporary unless the rename took it.
class Temporary {
public:
    ~Temporary() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        if (!m_path.empty()) {
            ::unlink(m_path.c_str());
        }
    }

    // O_EXCL with a name of our own rather than mkstemp: the kernel then applies
    // the umask to 0666, as for any new file.
    int open(const std::string& target) {
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string candidate = target + ".tmp-" + std::to_string(::getpid()) + "-" +
                                    std::to_string(counter.fetch_add(1));
            m_fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd >= 0) {
                m_path = std::move(candidate);
                return 0;
            }
            if (errno != EEXIST) {
                return errno;
            }
        }
        return EEXIST;
    }

    int fd() const { return m_fd; }
    const std::string& path() const { return m_path; }

    int close() {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? 0 : errno;
    }

    void renamed() { m_path.clear(); }

private:
    int m_fd = -1;
    std::string m_path;
};

int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = ::write(fd, bytes.data(), bytes.size());
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return 0;
}

// After the rename the new content is in place; only its surviving a power cut
// is then in doubt. File systems that cannot sync a folder say EINVAL.
int syncFolderOf(const std::string& path) {
    const auto folder = std::filesystem::path(path).parent_path();
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    const int result = ::fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
    ::close(fd);
    return result;
}

// Every live writer, so pending bytes can be written again from one place.
// Lock order: the registry first, then a writer's own lock.
struct Registry {
    std::mutex mutex;
    std::set<AtomicFileWriter*> writers;
    std::function<void()> pendingObserver;
};

Registry& registry() {
    static Registry* const instance = new Registry; // outlives every static writer
    return *instance;
}

void notePending() {
    std::function<void()> observer;
    {
        std::lock_guard lock(registry().mutex);
        observer = registry().pendingObserver;
    }
    if (observer) {
        observer();
    }
}

// "<pid>-<n>" with both decimal: the writer's process id.
std::optional<pid_t> temporaryOwner(std::string_view suffix) {
    const auto dash = suffix.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash + 1 == suffix.size()) {
        return std::nullopt;
    }
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(suffix.data(), suffix.data() + dash, pid);
    if (error != std::errc() || end != suffix.data() + dash || pid <= 0) {
        return std::nullopt;
    }
    for (const char digit : suffix.substr(dash + 1)) {
        if (digit < '0' || digit > '9') {
            return std::nullopt;
        }
    }
    return pid;
}

bool processIsGone(pid_t pid) {
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

// What a replacement did, and what became of the set-aside it was asked for.
struct Replaced {
    std::optional<std::string> failure;
    bool setAsideFailed = false;
    // The old file is kept aside (where setAside says), or nothing was there.
    bool setAsideDone = false;
    SetAsideFile::Outcome setAside;
};

Replaced replaceFile(const std::string& path, std::string_view bytes,
                     const std::string* setAsideSuffix) {
    Replaced result;
    const auto failed = [&](const std::string& what, int error) {
        result.failure = failure(what, path, error);
        return result;
    };
    // A file linked from elsewhere (kept with the user's other settings, say)
    // stays linked: its target is replaced, not the link. A link to a file not
    // made yet makes it there; to a folder that is gone, it fails.
    const std::string target = resolvedTarget(path);
    Temporary temporary;
    if (const int error = temporary.open(target)) {
        return failed("cannot create a temporary file beside", error);
    }
    if (const int error = writeAll(temporary.fd(), bytes)) {
        return failed("cannot write", error);
    }
    // Only a file lends its mode: a folder's (0755) would make the new one
    // executable.
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        ::fchmod(temporary.fd(), existing.st_mode & 07777);
    }
    if (::fsync(temporary.fd()) != 0) {
        return failed("cannot write", errno);
    }
    if (const int error = temporary.close()) {
        return failed("cannot write", error);
    }
    // Only now, with the new bytes safe, does the old file go aside: as a
    // second link, so it stays at its path until the rename replaces it.
    // What can have no second name swaps places with the new file in one
    // step; only where the file system cannot swap is it moved, and the new
    // file follows at once. The earlier set-asides make way for it only once
    // the new file holds the path.
    std::optional<SetAsideFile> aside;
    bool exchanged = false;
    if (setAsideSuffix) {
        aside.emplace(target, *setAsideSuffix);
        auto placed = aside->link();
        if (placed.noSecondName) {
            placed = aside->exchange(temporary.path());
            exchanged = placed.destination.has_value();
            if (placed.noExchange) {
                placed = aside->move();
            }
        }
        if (placed.failure) {
            result.failure = placed.failure;
            result.setAsideFailed = true;
            return result;
        }
    }
    if (!exchanged && ::rename(temporary.path().c_str(), target.c_str()) != 0) {
        const int error = errno;
        // A failed write leaves nothing aside: the old file is back, or still
        // there and its second name goes.
        if (aside) {
            aside->withdraw();
        }
        return failed("cannot replace", error);
    }
    temporary.renamed();
    if (aside) {
        result.setAside = aside->settle();
        result.setAsideDone = true;
    }
    if (const int error = syncFolderOf(target)) {
        return failed("cannot sync the folder of", error);
    }
    return result;
}

} // namespace

AtomicFileWriter::AtomicFileWriter(std::string path)
    : m_path(std::move(path)) {
    std::lock_guard lock(registry().mutex);
    registry().writers.insert(this);
}

AtomicFileWriter::~AtomicFileWriter() {
    std::lock_guard lock(registry().mutex);
    registry().writers.erase(this);
}

AtomicFileWriter::Outcome AtomicFileWriter::write(std::string_view bytes) {
    Outcome outcome;
    {
        std::lock_guard lock(m_mutex);
        outcome = writeLocked(bytes);
    }
    if (!outcome.succeeded()) {
        notePending();
    }
    return outcome;
}

AtomicFileWriter::Outcome AtomicFileWriter::writeLocked(std::string_view bytes) {
    Outcome outcome;
    const auto replaced = replaceFile(m_path, bytes, m_setAside ? &m_setAside->suffix : nullptr);
    outcome.failure = replaced.failure;
    outcome.setAsideFailed = replaced.setAsideFailed;
    if (m_setAside && replaced.setAsideDone) {
        const auto report = std::move(m_setAside->moved);
        m_setAside.reset();
        if (report) {
            report(replaced.setAside);
        }
    }
    outcome.repeated = outcome.failure && outcome.failure == m_lastFailure;
    m_lastFailure = outcome.failure;
    if (outcome.failure) {
        m_pending = std::string(bytes);
    } else {
        m_pending.reset();
    }
    return outcome;
}

std::optional<std::string> AtomicFileWriter::pendingBytes() const {
    std::lock_guard lock(m_mutex);
    return m_pending;
}

bool AtomicFileWriter::hasPending() const {
    std::lock_guard lock(m_mutex);
    return m_pending.has_value();
}

AtomicFileWriter::Outcome AtomicFileWriter::retryPending() {
    std::lock_guard lock(m_mutex);
    if (!m_pending) {
        return {};
    }
    const std::string bytes = *m_pending;
    return writeLocked(bytes);
}

void AtomicFileWriter::setAsideBeforeNextWrite(std::string suffix, SetAsideReport moved) {
    std::lock_guard lock(m_mutex);
    if (!m_setAside) {
        m_setAside = SetAside{std::move(suffix), std::move(moved)};
    }
}

bool AtomicFileWriter::retryAllPending() {
    std::lock_guard lock(registry().mutex);
    bool clean = true;
    for (auto* writer : registry().writers) {
        clean = writer->retryPending().succeeded() && clean;
    }
    return clean;
}

void AtomicFileWriter::setPendingObserver(std::function<void()> observer) {
    std::lock_guard lock(registry().mutex);
    registry().pendingObserver = std::move(observer);
}

std::size_t AtomicFileWriter::removeStaleTemporaries(const std::string& path,
                                                     std::chrono::seconds minimumAge) {
    const std::filesystem::path target(resolvedTarget(path));
    const std::string prefix = target.filename().string() + ".tmp-";
    const auto folder =
        target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
    const auto now = std::filesystem::file_time_type::clock::now();
    std::size_t removed = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator entries(folder, error), end; !error && entries != end;
         entries.increment(error)) {
        const std::string name = entries->path().filename().string();
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        const auto owner = temporaryOwner(std::string_view(name).substr(prefix.size()));
        std::error_code statError;
        if (!owner || !entries->is_regular_file(statError) || statError) {
            continue;
        }
        const auto modified = entries->last_write_time(statError);
        const bool old = !statError && now - modified > minimumAge;
        if ((processIsGone(*owner) || old) && std::filesystem::remove(entries->path(), statError)) {
            ++removed;
        }
    }
    return removed;
}

std::optional<std::string> AtomicFileWriter::replace(const std::string& path,
                                                     std::string_view bytes) {
    return replaceFile(path, bytes, nullptr).failure;
}

} // namespace berthkeep
