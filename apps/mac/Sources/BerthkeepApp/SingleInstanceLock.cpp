#include "BerthkeepApp/SingleInstanceLock.hpp"

#include <QDir>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace berthkeep {

namespace {

constexpr const char* lockFileName = "berthkeep.lock";

// Whoever holds an flock on the open file: the kernel lists every lock with
// its process and the file's device and inode.
std::optional<SingleInstanceLock::Holder> flockHolder(int descriptor) {
    struct stat file {};
    if (::fstat(descriptor, &file) != 0) {
        return std::nullopt;
    }
    char identity[64];
    std::snprintf(identity, sizeof identity, "%02x:%02x:%llu", major(file.st_dev),
                  minor(file.st_dev), static_cast<unsigned long long>(file.st_ino));
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, type, mode, access, pid, where;
        // Waiters are marked "->"; only the holder's line reads straight on.
        if (!(fields >> number >> type >> mode >> access >> pid >> where) || type != "FLOCK" ||
            where != identity) {
            continue;
        }
        SingleInstanceLock::Holder holder;
        holder.pid = std::atoi(pid.c_str());
        if (holder.pid <= 0) {
            return std::nullopt;
        }
        std::ifstream(("/proc/" + pid + "/comm").c_str()) >> holder.name;
        return holder;
    }
    return std::nullopt;
}

} // namespace

SingleInstanceLock::SingleInstanceLock(std::string preferencesFolder, std::string runtimeFolder)
    : m_preferencesFolder(std::move(preferencesFolder))
    , m_runtimeFolder(std::move(runtimeFolder)) {}

SingleInstanceLock::~SingleInstanceLock() {
    release();
}

std::string SingleInstanceLock::defaultRuntimeFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        return runtime;
    }
    // The folder Qt and scripts/run fall back to.
    const passwd* user = ::getpwuid(::geteuid());
    const std::string name = user && user->pw_name ? user->pw_name : std::to_string(::geteuid());
    return QDir::tempPath().toStdString() + "/runtime-" + name;
}

void SingleInstanceLock::provideRuntimeFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        return;
    }
    const std::string folder = defaultRuntimeFolder();
    if (::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) {
        ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    }
}

SingleInstanceLock::Outcome SingleInstanceLock::tryLock() {
    release();
    m_holder.reset();
    switch (lockIn(m_preferencesFolder)) {
    case Attempt::held:
        return Outcome::heldByAnother;
    case Attempt::failed:
        return Outcome::unavailable;
    case Attempt::taken:
        break;
    }
    if (m_runtimeFolder != m_preferencesFolder && lockIn(m_runtimeFolder) == Attempt::held) {
        release();
        return Outcome::heldByAnother;
    }
    return Outcome::acquired;
}

SingleInstanceLock::Attempt SingleInstanceLock::lockIn(const std::string& folder) {
    const std::string path =
        QDir(QString::fromStdString(folder)).filePath(lockFileName).toStdString();
    QDir().mkpath(QString::fromStdString(folder));
    // Close-on-exec: a disk tool left hanging after this process must not go on
    // holding the lock. Never waiting: whatever is at the path, a pipe included.
    constexpr int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | flags, 0600);
    if (descriptor < 0) {
        const int error = errno;
        // An flock needs no write access: a lock file left in a folder that
        // is now read-only still keeps a second copy out.
        descriptor = ::open(path.c_str(), O_RDONLY | flags);
        if (descriptor < 0) {
            m_failure = path + ": " + std::strerror(error);
            return Attempt::failed;
        }
    }
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            m_heldPath = path;
            m_holder = flockHolder(descriptor);
            ::close(descriptor);
            return Attempt::held;
        }
        ::close(descriptor);
        m_failure = path + ": " + std::strerror(error);
        return Attempt::failed;
    }
    m_descriptors.push_back(descriptor);
    // The holder's process id, for a person looking; the lock itself is the
    // flock, so a failed write (a full file system) changes nothing.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(descriptor, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::write(descriptor, pid.data(), pid.size());
    }
    return Attempt::taken;
}

void SingleInstanceLock::release() {
    for (const int descriptor : m_descriptors) {
        ::close(descriptor);
    }
    m_descriptors.clear();
}

} // namespace berthkeep
