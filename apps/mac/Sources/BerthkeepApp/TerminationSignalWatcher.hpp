#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace berthkeep {

// Turns SIGINT and SIGTERM into a signal on the main loop, so the program ends
// through its ordinary teardown instead of dying mid-write. The handler only
// writes a byte to a pipe; everything else runs on the main thread. One per
// process.
class TerminationSignalWatcher final : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignalWatcher(QObject* parent = nullptr);
    ~TerminationSignalWatcher() override;

signals:
    void terminationRequested(int signalNumber);

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace berthkeep
