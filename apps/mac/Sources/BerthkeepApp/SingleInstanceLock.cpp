#include "BerthkeepApp/SingleInstanceLock.hpp"

#include <QDir>
#include <QString>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace berthkeep {

namespace {

constexpr const char* lockFileName = "berthkeep.lock";

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
    // holding the lock.
    const int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        m_failure = path + ": " + std::strerror(errno);
        return Attempt::failed;
    }
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(descriptor);
        if (error == EWOULDBLOCK) {
            m_heldPath = path;
            return Attempt::held;
        }
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
