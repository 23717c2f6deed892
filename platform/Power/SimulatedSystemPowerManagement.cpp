#include "platform/Power/SimulatedSystemPowerManagement.hpp"

#include "platform/SimulatedMachine/SimulatedFileWatcher.hpp"

#include <algorithm>
#include <unistd.h>

namespace berthkeep {

SimulatedSystemPowerManagement::SimulatedSystemPowerManagement(
    SimulatedStateFile stateFile, std::chrono::milliseconds pollInterval,
    std::chrono::milliseconds sleepPause, std::chrono::milliseconds giveUpAfter)
    : m_powerFile(std::move(stateFile))
    , m_pollInterval(pollInterval)
    , m_sleepPause(sleepPause)
    , m_giveUpAfter(giveUpAfter) {}

SimulatedSystemPowerManagement::~SimulatedSystemPowerManagement() {
    m_stopSleepCycle = true;
    waitForSleepCycle();
    for (auto& [port, registration] : m_registrations) {
        stopWatching(registration);
        if (registration.notifier != 0) {
            try {
                m_powerFile.deregister(registration.machineID);
            } catch (const SimulatedStateError&) {
                // The machine forgets ended programs by their pid anyway.
            }
        }
    }
}

SimulatedSystemPowerManagement::Registration*
SimulatedSystemPowerManagement::byPort(SystemPowerNotificationPort port) {
    auto it = m_registrations.find(port);
    return it == m_registrations.end() || it->second.port == 0 ? nullptr : &it->second;
}

SimulatedSystemPowerManagement::Registration*
SimulatedSystemPowerManagement::byRoot(SystemPowerConnection root) {
    for (auto& [port, registration] : m_registrations) {
        if (root != 0 && registration.root == root) {
            return &registration;
        }
    }
    return nullptr;
}

SimulatedSystemPowerManagement::Registration*
SimulatedSystemPowerManagement::byNotifier(SystemPowerNotifier notifier) {
    for (auto& [port, registration] : m_registrations) {
        if (notifier != 0 && registration.notifier == notifier) {
            return &registration;
        }
    }
    return nullptr;
}

SystemPowerConnection SimulatedSystemPowerManagement::registerForSystemPower(
    void* refcon, SystemPowerNotificationPort* port, SystemPowerCallback callback,
    SystemPowerNotifier* notifier) {
    if (m_registrationFails || !port || !notifier || !callback) {
        return 0;
    }
    Registration registration;
    try {
        registration.machineID = m_powerFile.registerProgram(static_cast<int>(::getpid()));
    } catch (const SimulatedStateError&) {
        return 0;
    }
    registration.refcon = refcon;
    registration.callback = callback;
    registration.port = m_nextHandle++;
    registration.notifier = m_nextHandle++;
    registration.root = m_nextHandle++;
    *port = registration.port;
    *notifier = registration.notifier;
    const SystemPowerConnection root = registration.root;
    m_registrations.emplace(registration.port, std::move(registration));
    return root;
}

bool SimulatedSystemPowerManagement::addNotificationPortToMainLoop(
    SystemPowerNotificationPort port) {
    Registration* registration = byPort(port);
    if (!registration) {
        return false;
    }
    if (!registration->watcher) {
        registration->watcher = std::make_unique<SimulatedFileWatcher>(
            QString::fromStdString(m_powerFile.path()), m_pollInterval,
            [this, port] { deliverPending(port); });
    }
    return true;
}

void SimulatedSystemPowerManagement::removeNotificationPortFromMainLoop(
    SystemPowerNotificationPort port) {
    if (Registration* registration = byPort(port)) {
        stopWatching(*registration);
    }
}

void SimulatedSystemPowerManagement::stopWatching(Registration& registration) {
    if (registration.watcher) {
        // It may be the one delivering right now.
        registration.watcher->detach();
        registration.watcher.release()->deleteLater();
    }
}

SystemPowerReturn
SimulatedSystemPowerManagement::deregisterForSystemPower(SystemPowerNotifier* notifier) {
    Registration* registration = notifier ? byNotifier(*notifier) : nullptr;
    if (!registration) {
        return SystemPowerResult::badArgument;
    }
    const SystemPowerNotificationPort port = registration->port;
    registration->notifier = 0;
    *notifier = 0;
    SystemPowerReturn result = SystemPowerResult::success;
    try {
        m_powerFile.deregister(registration->machineID);
    } catch (const SimulatedStateError&) {
        result = SystemPowerResult::error;
    }
    forgetIfClosed(port);
    return result;
}

void SimulatedSystemPowerManagement::destroyNotificationPort(SystemPowerNotificationPort port) {
    auto it = m_registrations.find(port);
    if (it == m_registrations.end() || it->second.port == 0) {
        return;
    }
    stopWatching(it->second);
    it->second.port = 0;
    forgetIfClosed(port);
}

SystemPowerReturn SimulatedSystemPowerManagement::closeService(SystemPowerConnection connection) {
    if (m_requestConnections.erase(connection) > 0) {
        return SystemPowerResult::success;
    }
    for (auto& [port, registration] : m_registrations) {
        if (connection != 0 && registration.root == connection) {
            registration.root = 0;
            forgetIfClosed(port);
            return SystemPowerResult::success;
        }
    }
    return SystemPowerResult::badArgument;
}

void SimulatedSystemPowerManagement::forgetIfClosed(SystemPowerNotificationPort port) {
    auto it = m_registrations.find(port);
    if (it != m_registrations.end() && it->second.port == 0 && it->second.notifier == 0 &&
        it->second.root == 0) {
        m_registrations.erase(it);
    }
}

SystemPowerReturn
SimulatedSystemPowerManagement::allowPowerChange(SystemPowerConnection rootConnection,
                                                 std::intptr_t notificationID) {
    Registration* registration = byRoot(rootConnection);
    if (!registration) {
        return SystemPowerResult::notOpen;
    }
    try {
        // Recorded whatever it releases: the record is what tests read back.
        m_powerFile.acknowledge(registration->machineID, static_cast<int>(::getpid()),
                                static_cast<std::int64_t>(notificationID));
    } catch (const SimulatedStateError&) {
        return SystemPowerResult::error;
    }
    return SystemPowerResult::success;
}

void SimulatedSystemPowerManagement::deliverPending(SystemPowerNotificationPort port) {
    SimulatedPowerRecord record;
    std::uint64_t machineID = 0;
    {
        Registration* registration = byPort(port);
        if (!registration || registration->notifier == 0 || !registration->watcher) {
            return;
        }
        machineID = registration->machineID;
        try {
            record = m_powerFile.read();
        } catch (const SimulatedStateError&) {
            return; // a file being rewritten by hand; the next change tries again
        }
    }
    for (const auto& message : record.messages) {
        Registration* registration = byPort(port);
        if (!registration || registration->notifier == 0 || !registration->watcher) {
            return; // torn down by an earlier callback
        }
        const auto& recipients = message.recipients;
        if (message.notificationID <= registration->lastDelivered ||
            std::find(recipients.begin(), recipients.end(), machineID) == recipients.end() ||
            message.answeredBy(machineID) ||
            std::find(message.delivered.begin(), message.delivered.end(), machineID) !=
                message.delivered.end()) {
            continue;
        }
        registration->lastDelivered = message.notificationID;
        try {
            m_powerFile.markDelivered(machineID, message.notificationID);
        } catch (const SimulatedStateError&) {
        }
        const auto callback = registration->callback;
        void* const refcon = registration->refcon;
        callback(refcon, registration->root, systemPowerMessageType(message.message),
                 reinterpret_cast<void*>(static_cast<std::intptr_t>(message.notificationID)));
    }
}

SystemPowerConnection SimulatedSystemPowerManagement::findPowerManagement() {
    if (m_powerManagementUnavailable) {
        return 0;
    }
    const SystemPowerConnection connection = m_nextHandle++;
    m_requestConnections.insert(connection);
    return connection;
}

SystemPowerReturn SimulatedSystemPowerManagement::sleepSystem(SystemPowerConnection connection) {
    if (!m_requestConnections.count(connection)) {
        return SystemPowerResult::badArgument;
    }
    if (m_sleepRequestResult != SystemPowerResult::success) {
        return m_sleepRequestResult;
    }
    if (m_sleepCycleDone && !m_sleepCycleDone->load()) {
        return SystemPowerResult::success; // already on its way to sleep
    }
    waitForSleepCycle();
    m_stopSleepCycle = false;
    m_sleepCycleDone = std::make_shared<std::atomic<bool>>(false);
    ++m_sleepCyclesStarted;
    m_sleepCycle =
        std::thread([powerFile = m_powerFile, pause = m_sleepPause, giveUpAfter = m_giveUpAfter,
                     stop = &m_stopSleepCycle, done = m_sleepCycleDone] {
            try {
                powerFile.runSleepCycle(pause, giveUpAfter, stop);
            } catch (const SimulatedStateError&) {
                // The machine's files went away under us; nothing to wake.
            }
            done->store(true);
        });
    return SystemPowerResult::success;
}

int SimulatedSystemPowerManagement::openConnections() const {
    int count = static_cast<int>(m_requestConnections.size());
    for (const auto& [port, registration] : m_registrations) {
        count += registration.root != 0 ? 1 : 0;
    }
    return count;
}

void SimulatedSystemPowerManagement::waitForSleepCycle() {
    if (m_sleepCycle.joinable()) {
        m_sleepCycle.join();
    }
}

} // namespace berthkeep
