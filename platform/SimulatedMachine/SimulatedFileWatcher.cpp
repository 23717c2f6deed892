#include "platform/SimulatedMachine/SimulatedFileWatcher.hpp"

#include <QDir>
#include <QFileInfo>

namespace berthkeep {

SimulatedFileWatcher::SimulatedFileWatcher(const QString& path,
                                           std::chrono::milliseconds pollInterval,
                                           std::function<void()> onChange)
    : m_path(path)
    , m_onChange(std::move(onChange)) {
    const QFileInfo info(path);
    QDir().mkpath(info.absolutePath());
    m_watcher.addPath(info.absolutePath());
    watchFile();
    // Atomic replacement changes the folder; the file watch is renewed each time.
    QObject::connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this,
                     [this] { changed(); });
    QObject::connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { changed(); });
    m_poll.setInterval(pollInterval);
    QObject::connect(&m_poll, &QTimer::timeout, this, [this] { notify(); });
    m_poll.start();
    // On the loop, not from within the constructor's caller.
    QTimer::singleShot(0, this, [this] { notify(); });
}

void SimulatedFileWatcher::detach() {
    m_onChange = nullptr;
    m_poll.stop();
    m_watcher.disconnect(this);
}

void SimulatedFileWatcher::notify() {
    if (m_onChange) {
        m_onChange();
    }
}

void SimulatedFileWatcher::watchFile() {
    if (QFileInfo::exists(m_path) && !m_watcher.files().contains(m_path)) {
        m_watcher.addPath(m_path);
    }
}

void SimulatedFileWatcher::changed() {
    watchFile();
    notify();
}

} // namespace berthkeep
