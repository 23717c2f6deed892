#include "BerthkeepApp/TerminationSignalWatcher.hpp"

#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace berthkeep {

namespace {

int g_pipe[2] = {-1, -1};

void onSignal(int signalNumber) {
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

void TerminationSignalWatcher::installHandlers() {
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    // A closed terminal ends the program the same orderly way.
    ::sigaction(SIGHUP, &action, nullptr);
}

TerminationSignalWatcher::TerminationSignalWatcher(QObject* parent)
    : QObject(parent) {
    installHandlers();
    if (g_pipe[0] < 0) {
        return;
    }
    // A signal that came before this is waiting in the pipe and is seen at
    // once.
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        unsigned char byte = 0;
        while (::read(g_pipe[0], &byte, 1) == 1) {
            emit terminationRequested(byte);
        }
    });
}

TerminationSignalWatcher::~TerminationSignalWatcher() {
    // From here on a signal ends the process the default way.
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGHUP, SIG_DFL);
    m_notifier.reset();
    for (int& end : g_pipe) {
        if (end >= 0) {
            ::close(end);
            end = -1;
        }
    }
}

} // namespace berthkeep
