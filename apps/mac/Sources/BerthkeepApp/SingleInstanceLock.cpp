#include "BerthkeepApp/SingleInstanceLock.hpp"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QString>

#include <cstdlib>

#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"

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
    return BerthkeepRuntimeIdentity::applicationSupportDirectoryPath(
               BerthkeepRuntimeIdentity::currentBundleIdentifier())
        .value_or(QDir::tempPath().toStdString());
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
