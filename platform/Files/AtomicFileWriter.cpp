#include "platform/Files/AtomicFileWriter.hpp"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

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

} // namespace

AtomicFileWriter::AtomicFileWriter(std::string path)
    : m_path(std::move(path)) {}

AtomicFileWriter::Outcome AtomicFileWriter::write(std::string_view bytes) {
    std::lock_guard lock(m_mutex);
    Outcome outcome;
    outcome.failure = replace(m_path, bytes);
    outcome.repeated = outcome.failure && outcome.failure == m_lastFailure;
    m_lastFailure = outcome.failure;
    return outcome;
}

std::optional<std::string> AtomicFileWriter::replace(const std::string& path,
                                                     std::string_view bytes) {
    // A file linked from elsewhere (kept with the user's other settings, say)
    // stays linked: its target is replaced, not the link.
    std::error_code unresolved;
    const auto resolved = std::filesystem::canonical(path, unresolved);
    const std::string target = unresolved ? path : resolved.string();
    Temporary temporary;
    if (const int error = temporary.open(target)) {
        return failure("cannot create a temporary file beside", path, error);
    }
    if (const int error = writeAll(temporary.fd(), bytes)) {
        return failure("cannot write", path, error);
    }
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0) {
        ::fchmod(temporary.fd(), existing.st_mode & 07777);
    }
    if (::fsync(temporary.fd()) != 0) {
        return failure("cannot write", path, errno);
    }
    if (const int error = temporary.close()) {
        return failure("cannot write", path, error);
    }
    if (::rename(temporary.path().c_str(), target.c_str()) != 0) {
        return failure("cannot replace", path, errno);
    }
    temporary.renamed();
    if (const int error = syncFolderOf(target)) {
        return failure("cannot sync the folder of", path, error);
    }
    return std::nullopt;
}

} // namespace berthkeep
