#include "platform/SimulatedMachine/SimulatedFileAccess.hpp"

#include "platform/Files/AtomicFileWriter.hpp"
#include "platform/SimulatedMachine/SimulatedWorld.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace berthkeep {

namespace {

std::string errnoText(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

void makeParentFolder(const std::string& path) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
}

} // namespace

SimulatedFileLock::SimulatedFileLock(const std::string& path, int operation) {
    makeParentFolder(path);
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

SimulatedFileLock::~SimulatedFileLock() {
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
}

bool readSimulatedFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return false;
        }
        throw SimulatedStateError(errnoText("cannot open", path));
    }
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
    return true;
}

void replaceSimulatedFile(const std::string& path, const std::string& bytes) {
    makeParentFolder(path);
    if (auto failure = AtomicFileWriter::replace(path, bytes)) {
        throw SimulatedStateError(*failure);
    }
}

} // namespace berthkeep
