#include "platform/SimulatedMachine/SimulatedStateFile.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace berthkeep {

namespace {

std::string errnoText(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

// Holds an flock for its lifetime.
class FileLock {
public:
    FileLock(const std::string& path, int operation) {
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
        m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) {
            throw SimulatedStateError(errnoText("cannot open lock file", path));
        }
        while (::flock(m_fd, operation) != 0) {
            if (errno != EINTR) {
                const std::string message = errnoText("cannot lock", path);
                ::close(m_fd);
                throw SimulatedStateError(message);
            }
        }
    }
    ~FileLock() {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int m_fd = -1;
};

SimulatedWorld readUnlocked(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return SimulatedWorld{};
        }
        throw SimulatedStateError(errnoText("cannot open", path));
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            const std::string message = errnoText("cannot read", path);
            ::close(fd);
            throw SimulatedStateError(message);
        }
        if (count == 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fd);
    return parseSimulatedWorld(bytes);
}

void writeUnlocked(const std::string& path, const SimulatedWorld& world) {
    const std::string bytes = serializeSimulatedWorld(world);
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        throw SimulatedStateError(errnoText("cannot create temporary file beside", path));
    }
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            const std::string message = errnoText("cannot write", temporary);
            ::close(fd);
            ::unlink(temporary.c_str());
            throw SimulatedStateError(message);
        }
        written += static_cast<std::size_t>(count);
    }
    ::fchmod(fd, 0644);
    ::fsync(fd);
    ::close(fd);
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string message = errnoText("cannot replace", path);
        ::unlink(temporary.c_str());
        throw SimulatedStateError(message);
    }
}

} // namespace

SimulatedStateFile::SimulatedStateFile(std::string path)
    : m_path(std::move(path)) {}

std::string SimulatedStateFile::defaultPath() {
    const auto nonEmpty = [](const char* name) -> std::string {
        const char* value = std::getenv(name);
        return value ? std::string(value) : std::string();
    };
    if (auto explicitPath = nonEmpty(environmentVariable); !explicitPath.empty()) {
        return explicitPath;
    }
    if (auto runtime = nonEmpty("XDG_RUNTIME_DIR"); !runtime.empty()) {
        return runtime + "/berthkeep-sim/state.json";
    }
    std::string data = nonEmpty("XDG_DATA_HOME");
    if (data.empty()) {
        const std::string home = nonEmpty("HOME");
        data = (home.empty() ? std::string("/tmp") : home) + "/.local/share";
    }
    return data + "/berthkeep-sim/state.json";
}

SimulatedWorld SimulatedStateFile::read() const {
    // Writers replace the file atomically, so the shared lock only orders a read
    // after a writer in progress; without a writable folder, read unlocked.
    std::optional<FileLock> lock;
    try {
        lock.emplace(lockPath(), LOCK_SH);
    } catch (const SimulatedStateError&) {
    }
    return readUnlocked(m_path);
}

bool SimulatedStateFile::update(const std::function<bool(SimulatedWorld&)>& change) const {
    FileLock lock(lockPath(), LOCK_EX);
    SimulatedWorld world = readUnlocked(m_path);
    const bool changed = change(world);
    if (changed) {
        writeUnlocked(m_path, world);
    }
    return changed;
}

void SimulatedStateFile::write(const SimulatedWorld& world) const {
    FileLock lock(lockPath(), LOCK_EX);
    writeUnlocked(m_path, world);
}

} // namespace berthkeep
