#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>

#include <QFileSystemWatcher>
#include <QObject>
#include <QByteArray>
#include <QString>
#include <QTimer>

namespace berthkeep {

// Calls back on the thread that made it (the main loop) when a file of the
// simulated machine changed: a watch on the file and its folder, since writers
// replace the file. The folder also sees the machine's other files, temporary
// files and locks come and go, so the call comes only when the file's bytes
// differ from what the last call saw. It also calls back once, soon after
// construction, so the owner reports what is there.
//
// The watches can miss a change: the kernel drops events when its queue
// overflows, and a folder removed and made again loses its watch. A slow check
// covers that: it looks at the file's status (no read, no lock) and reads it
// only when that moved, and renews a lost folder watch. Such misses are rare, so
// the owners check seldom: each check wakes an otherwise idle program.
class SimulatedFileWatcher : public QObject {
public:
    SimulatedFileWatcher(const QString& path, std::chrono::milliseconds checkInterval,
                         std::function<void()> onChange);

    // Silences the watcher for good; it may be deleted later, even from inside
    // one of its own notifications.
    void detach();

private:
    struct Status {
        bool exists = false;
        unsigned long long inode = 0;
        long long size = 0;
        long long modifiedNs = 0;
        long long changedNs = 0;
        bool operator==(const Status&) const = default;
    };

    void notifyIfChanged();
    void check();
    void watchPaths();
    Status status() const;

    QString m_path;
    // The path as the system takes it, made once: the safety check asks often.
    QByteArray m_nativePath;
    std::function<void()> m_onChange;
    QFileSystemWatcher m_watcher;
    QTimer m_check;
    // What the last call saw; none before the first.
    std::optional<std::size_t> m_seenContent;
    std::optional<Status> m_seenStatus;
};

} // namespace berthkeep
