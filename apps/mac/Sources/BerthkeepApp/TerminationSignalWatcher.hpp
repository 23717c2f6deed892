#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace berthkeep {

// Turns SIGINT, SIGTERM and SIGHUP into a signal on the main loop, so the program ends
// through its ordinary teardown instead of dying mid-write. The handler only
// writes a byte to a pipe; everything else runs on the main thread. One per
// process.
class TerminationSignalWatcher final : public QObject {
    Q_OBJECT

public:
    // Catches the signals from here on, before there is a loop to hear of
    // them: a signal in start-up then ends the program once its loop runs.
    // The constructor calls it too.
    static void installHandlers();

    explicit TerminationSignalWatcher(QObject* parent = nullptr);
    ~TerminationSignalWatcher() override;

signals:
    void terminationRequested(int signalNumber);

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace berthkeep
