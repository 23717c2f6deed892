#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/SimulatedMachine/SimulatedPowerRecord.hpp"
#include "platform/SimulatedMachine/SimulatedStateFile.hpp"

namespace berthkeep {

// The power side of the simulated machine, in a file beside its state file
// ("<state>.power"): the programs registered for power messages, the messages
// sent to them with each program's answer, every acknowledgement made, and what
// the machine looked like when it went to sleep. Programs and the control tool
// share it across processes the way they share the state file (flock on a
// sidecar lock, atomic replace). Times are boot-clock milliseconds, comparable
// between processes.
class SimulatedPowerFile {
public:
    // A will-sleep nobody acknowledges is given up after this long, as a real
    // machine does; the control tool reads another bound from the environment.
    static constexpr std::chrono::milliseconds defaultGiveUpAfter{30000};
    static constexpr const char* giveUpEnvironmentVariable = "BERTHKEEP_SIM_POWER_GIVE_UP_MS";

    explicit SimulatedPowerFile(SimulatedStateFile stateFile);

    const std::string& path() const { return m_path; }
    const SimulatedStateFile& stateFile() const { return m_stateFile; }
    static std::int64_t nowMs();
    // Running and not a zombie.
    static bool isProgramRunning(int pid);

    // A missing file is a machine nobody registered with. Throws SimulatedStateError.
    SimulatedPowerRecord read() const;
    bool update(const std::function<bool(SimulatedPowerRecord&)>& change) const;

    std::uint64_t registerProgram(int pid) const;
    void deregister(std::uint64_t registration) const;
    bool acknowledge(std::uint64_t registration, int pid, std::int64_t notificationID) const;
    void markDelivered(std::uint64_t registration, std::int64_t notificationID) const;
    // Forgets registrations whose program has ended.
    void forgetEndedPrograms() const;

    // Sends the message to every registered program still running and returns its
    // notification id. A will-sleep keeps the machine as it is (the first one
    // since the last wake); a has-powered-on first brings back the disks ejected
    // since then, unmounted.
    std::int64_t send(SimulatedPowerMessage message,
                      std::chrono::milliseconds giveUpAfter = defaultGiveUpAfter) const;

    struct Answer {
        bool acknowledged = false;            // every program still running answered in time
        std::chrono::milliseconds elapsed{0}; // from the message to its outcome
    };
    // Polls until every recipient answered, the machine gave up, `wait` ended or
    // `stop` was set.
    Answer waitForAnswers(std::int64_t notificationID, std::chrono::milliseconds wait,
                          const std::atomic<bool>* stop = nullptr) const;

    struct SleepCycle {
        Answer willSleep;
        Answer hasPoweredOn;
    };
    // Will-sleep, the answers or the give-up, the pause, has-powered-on and a
    // short wait for its delivery. A stop cuts the waits short, but the machine
    // still wakes.
    SleepCycle runSleepCycle(std::chrono::milliseconds pause,
                             std::chrono::milliseconds giveUpAfter = defaultGiveUpAfter,
                             const std::atomic<bool>* stop = nullptr) const;

private:
    SimulatedStateFile m_stateFile;
    std::string m_path;
};

} // namespace berthkeep
