#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "platform/Power/SystemPowerManagement.hpp"
#include "platform/SimulatedMachine/SimulatedPowerFile.hpp"

namespace berthkeep {

class SimulatedFileWatcher;

// Power management of the simulated machine. A registration enters this process
// in the machine's power file; once its port is on the main loop, a watcher on
// that file delivers the messages sent to it, in order, each marked as taken
// before its callback runs. Acknowledgements go to the file, where the control
// tool waits for them. The sleep request runs the machine's sleep cycle on a
// thread of its own; a real suspend is never asked for. Main thread, except
// the request.
class SimulatedSystemPowerManagement : public SystemPowerManagement {
public:
    static constexpr std::chrono::milliseconds defaultPollInterval{30000};
    static constexpr std::chrono::milliseconds defaultSleepPause{1000};

    explicit SimulatedSystemPowerManagement(
        SimulatedStateFile stateFile, std::chrono::milliseconds pollInterval = defaultPollInterval,
        std::chrono::milliseconds sleepPause = defaultSleepPause,
        std::chrono::milliseconds giveUpAfter = SimulatedPowerFile::defaultGiveUpAfter);
    // Deregisters what is still registered; a running sleep cycle is cut short
    // and the machine woken.
    ~SimulatedSystemPowerManagement() override;

    SystemPowerConnection registerForSystemPower(void* refcon, SystemPowerNotificationPort* port,
                                                 SystemPowerCallback callback,
                                                 SystemPowerNotifier* notifier) override;
    bool addNotificationPortToMainLoop(SystemPowerNotificationPort port) override;
    void removeNotificationPortFromMainLoop(SystemPowerNotificationPort port) override;
    SystemPowerReturn deregisterForSystemPower(SystemPowerNotifier* notifier) override;
    void destroyNotificationPort(SystemPowerNotificationPort port) override;
    SystemPowerReturn closeService(SystemPowerConnection connection) override;
    SystemPowerReturn allowPowerChange(SystemPowerConnection rootConnection,
                                       std::intptr_t notificationID) override;
    SystemPowerConnection findPowerManagement() override;
    SystemPowerReturn sleepSystem(SystemPowerConnection connection) override;

    // Control surface for tests.
    const SimulatedPowerFile& powerFile() const { return m_powerFile; }
    void setRegistrationFails(bool fails) { m_registrationFails = fails; }
    void setPowerManagementUnavailable(bool unavailable) {
        m_powerManagementUnavailable = unavailable;
    }
    // Refuse sleep requests with this result (success accepts them again).
    void setSleepRequestResult(SystemPowerReturn result) { m_sleepRequestResult = result; }
    int sleepCyclesStarted() const { return m_sleepCyclesStarted; }
    int openConnections() const;
    // Waits for a running sleep cycle to end (tests; it blocks the main loop).
    void waitForSleepCycle();

private:
    struct Registration {
        std::uint64_t machineID = 0; // in the power file; 0 once deregistered
        void* refcon = nullptr;
        SystemPowerCallback callback = nullptr;
        SystemPowerConnection root = 0;
        SystemPowerNotifier notifier = 0;
        SystemPowerNotificationPort port = 0;
        std::int64_t lastDelivered = 0;
        std::unique_ptr<SimulatedFileWatcher> watcher;
    };

    Registration* byPort(SystemPowerNotificationPort port);
    Registration* byRoot(SystemPowerConnection root);
    Registration* byNotifier(SystemPowerNotifier notifier);
    void deliverPending(SystemPowerNotificationPort port);
    void stopWatching(Registration& registration);
    void forgetIfClosed(SystemPowerNotificationPort port);

    SimulatedPowerFile m_powerFile;
    std::chrono::milliseconds m_pollInterval;
    std::chrono::milliseconds m_sleepPause;
    std::chrono::milliseconds m_giveUpAfter;
    // Keyed by port, which every handle of one registration leads back to.
    std::map<SystemPowerNotificationPort, Registration> m_registrations;
    std::uint32_t m_nextHandle = 1;
    std::set<SystemPowerConnection> m_requestConnections;
    bool m_registrationFails = false;
    bool m_powerManagementUnavailable = false;
    SystemPowerReturn m_sleepRequestResult = SystemPowerResult::success;
    int m_sleepCyclesStarted = 0;
    std::thread m_sleepCycle;
    std::shared_ptr<std::atomic<bool>> m_sleepCycleDone;
    std::atomic<bool> m_stopSleepCycle{false};
};

} // namespace berthkeep
