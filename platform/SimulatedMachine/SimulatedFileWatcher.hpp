#pragma once

#include <chrono>
#include <functional>

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

namespace berthkeep {

// Calls back on the thread that made it (the main loop) when a file of the
// simulated machine may have changed: a watch on the file and its folder, since
// writers replace the file, plus a poll because watches can miss events. It also
// calls back once, soon after construction, so the owner reports what is there.
class SimulatedFileWatcher : public QObject {
public:
    SimulatedFileWatcher(const QString& path, std::chrono::milliseconds pollInterval,
                         std::function<void()> onChange);

    // Silences the watcher for good; it may be deleted later, even from inside
    // one of its own notifications.
    void detach();

private:
    void notify();
    void watchFile();
    void changed();

    QString m_path;
    std::function<void()> m_onChange;
    QFileSystemWatcher m_watcher;
    QTimer m_poll;
};

} // namespace berthkeep
