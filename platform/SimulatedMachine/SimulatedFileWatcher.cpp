#include "platform/SimulatedMachine/SimulatedFileWatcher.hpp"

#include <QDir>
#include <QFileInfo>

#include <string>
#include <sys/stat.h>

#include "platform/SimulatedMachine/SimulatedFileAccess.hpp"
#include "platform/SimulatedMachine/SimulatedWorld.hpp"

namespace berthkeep {

SimulatedFileWatcher::SimulatedFileWatcher(const QString& path,
                                           std::chrono::milliseconds checkInterval,
                                           std::function<void()> onChange)
    : m_path(path)
    , m_nativePath(QFile::encodeName(path))
    , m_onChange(std::move(onChange)) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    watchPaths();
    // Atomic replacement changes the folder; the file watch is renewed each time.
    QObject::connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        watchPaths();
        notifyIfChanged();
    });
    QObject::connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, [this] {
        watchPaths();
        notifyIfChanged();
    });
    m_check.setInterval(checkInterval);
    // Whole seconds: the machine's watchers wake together rather than each on its own.
    m_check.setTimerType(Qt::VeryCoarseTimer);
    QObject::connect(&m_check, &QTimer::timeout, this, [this] { check(); });
    m_check.start();
    // On the loop, not from within the constructor's caller.
    QTimer::singleShot(0, this, [this] { notifyIfChanged(); });
}

void SimulatedFileWatcher::detach() {
    m_onChange = nullptr;
    m_check.stop();
    m_watcher.disconnect(this);
}

SimulatedFileWatcher::Status SimulatedFileWatcher::status() const {
    struct stat info {};
    if (::stat(m_nativePath.constData(), &info) != 0) {
        return {};
    }
    return {true, static_cast<unsigned long long>(info.st_ino),
            static_cast<long long>(info.st_size),
            static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec,
            static_cast<long long>(info.st_ctim.tv_sec) * 1000000000LL + info.st_ctim.tv_nsec};
}

void SimulatedFileWatcher::notifyIfChanged() {
    if (!m_onChange) {
        return;
    }
    // The status alone could miss a rewrite: timestamps are coarse and a
    // replaced file may get the inode of the one before.
    m_seenStatus = status();
    std::string bytes;
    try {
        if (!readSimulatedFile(m_path.toStdString(), bytes)) {
            bytes = "\x01missing";
        }
    } catch (const SimulatedStateError&) {
        bytes = "\x01unreadable";
    }
    const std::size_t content = std::hash<std::string>{}(bytes);
    if (m_seenContent == content) {
        return;
    }
    m_seenContent = content;
    m_onChange();
}

void SimulatedFileWatcher::check() {
    // One stat while nothing changes: the watches are renewed only when something did.
    if (status() != m_seenStatus) {
        watchPaths();
        notifyIfChanged();
    }
}

void SimulatedFileWatcher::watchPaths() {
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!m_watcher.directories().contains(folder)) {
        m_watcher.addPath(folder);
    }
    if (QFileInfo::exists(m_path) && !m_watcher.files().contains(m_path)) {
        m_watcher.addPath(m_path);
    }
}

} // namespace berthkeep
