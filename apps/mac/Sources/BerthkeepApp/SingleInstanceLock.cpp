#include "BerthkeepApp/SingleInstanceLock.hpp"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QString>

#include <cerrno>
#include <cstdlib>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace berthkeep {

SingleInstanceLock::SingleInstanceLock(const std::string& folder)
    : m_path(QDir(QString::fromStdString(folder)).filePath("berthkeep.lock").toStdString())
    , m_lock(std::make_unique<QLockFile>(QString::fromStdString(m_path))) {
    // The holder runs for days: only a dead holder makes the lock stale, never
    // its age.
    m_lock->setStaleLockTime(0);
}

SingleInstanceLock::~SingleInstanceLock() = default;

std::string SingleInstanceLock::defaultFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        return runtime;
    }
    // The folder Qt and scripts/run fall back to, so a copy started either way
    // finds the other's lock.
    const passwd* user = ::getpwuid(::geteuid());
    const std::string name = user && user->pw_name ? user->pw_name : std::to_string(::geteuid());
    return QDir::tempPath().toStdString() + "/runtime-" + name;
}

void SingleInstanceLock::provideRuntimeFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        return;
    }
    const std::string folder = defaultFolder();
    if (::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) {
        ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    }
}

bool SingleInstanceLock::tryLock() {
    const QString folder = QFileInfo(QString::fromStdString(m_path)).absolutePath();
    QDir().mkpath(folder);
    if (m_lock->tryLock(0)) {
        return true;
    }
    return m_lock->error() != QLockFile::LockFailedError;
}

} // namespace berthkeep
