#include "platform/SimulatedMachine/SimulatedPowerFile.hpp"

#include "platform/SimulatedMachine/SimulatedFileAccess.hpp"
#include "platform/SimulatedMachine/SimulatedWakeEnumeration.hpp"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fstream>
#include <optional>
#include <sys/file.h>
#include <thread>

namespace berthkeep {

namespace {

constexpr std::chrono::milliseconds pollStep{20};
// How long a sleep cycle waits for the wake message to be taken.
constexpr std::chrono::milliseconds wakeDeliveryWait{5000};

void sleepUnlessStopped(std::chrono::milliseconds duration, const std::atomic<bool>* stop) {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end && !(stop && stop->load())) {
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            pollStep, end - std::chrono::steady_clock::now()));
    }
}

} // namespace

SimulatedPowerFile::SimulatedPowerFile(SimulatedStateFile stateFile)
    : m_stateFile(std::move(stateFile))
    , m_path(m_stateFile.path() + ".power") {}

std::int64_t SimulatedPowerFile::nowMs() {
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

bool SimulatedPowerFile::isProgramRunning(int pid) {
    if (pid <= 0 || (::kill(pid, 0) != 0 && errno != EPERM)) {
        return false;
    }
    // An ended child its parent has not reaped yet still answers kill().
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) {
        return true;
    }
    const auto close = line.rfind(')');
    return close == std::string::npos || close + 2 >= line.size() || line[close + 2] != 'Z';
}

SimulatedPowerRecord SimulatedPowerFile::read() const {
    std::optional<SimulatedFileLock> lock;
    try {
        lock.emplace(m_path + ".lock", LOCK_SH);
    } catch (const SimulatedStateError&) {
    }
    std::string bytes;
    return readSimulatedFile(m_path, bytes) ? parseSimulatedPowerRecord(bytes)
                                            : SimulatedPowerRecord{};
}

bool SimulatedPowerFile::update(const std::function<bool(SimulatedPowerRecord&)>& change) const {
    SimulatedFileLock lock(m_path + ".lock", LOCK_EX);
    std::string bytes;
    SimulatedPowerRecord record = readSimulatedFile(m_path, bytes)
                                      ? parseSimulatedPowerRecord(bytes)
                                      : SimulatedPowerRecord{};
    const bool changed = change(record);
    if (changed) {
        replaceSimulatedFile(m_path, serializeSimulatedPowerRecord(record));
    }
    return changed;
}

std::uint64_t SimulatedPowerFile::registerProgram(int pid) const {
    std::uint64_t id = 0;
    update([&](SimulatedPowerRecord& record) {
        id = record.nextRegistration++;
        record.registrations.push_back(SimulatedPowerRegistration{id, pid});
        return true;
    });
    return id;
}

void SimulatedPowerFile::deregister(std::uint64_t registration) const {
    update([&](SimulatedPowerRecord& record) {
        record.forget(registration, nowMs());
        return true;
    });
}

bool SimulatedPowerFile::acknowledge(std::uint64_t registration, int pid,
                                     std::int64_t notificationID) const {
    bool released = false;
    update([&](SimulatedPowerRecord& record) {
        released = record.acknowledge(registration, pid, notificationID, nowMs());
        return true;
    });
    return released;
}

void SimulatedPowerFile::markDelivered(std::uint64_t registration,
                                       std::int64_t notificationID) const {
    update([&](SimulatedPowerRecord& record) {
        record.markDelivered(registration, notificationID, nowMs());
        return true;
    });
}

void SimulatedPowerFile::forgetEndedPrograms() const {
    const SimulatedPowerRecord current = read();
    bool anyEnded = false;
    for (const auto& registration : current.registrations) {
        anyEnded = anyEnded || !isProgramRunning(registration.pid);
    }
    if (!anyEnded) {
        return;
    }
    update([](SimulatedPowerRecord& record) {
        std::vector<std::uint64_t> ended;
        for (const auto& registration : record.registrations) {
            if (!isProgramRunning(registration.pid)) {
                ended.push_back(registration.id);
            }
        }
        for (auto id : ended) {
            record.forget(id, nowMs());
        }
        return !ended.empty();
    });
}

std::int64_t SimulatedPowerFile::send(SimulatedPowerMessage message,
                                      std::chrono::milliseconds giveUpAfter) const {
    forgetEndedPrograms();
    std::int64_t notificationID = 0;
    update([&](SimulatedPowerRecord& record) {
        if (message == SimulatedPowerMessage::hasPoweredOn) {
            // The disks are back before anyone hears of the wake.
            m_stateFile.update([](SimulatedWorld& world) {
                ++world.wakeCount;
                bringBackParkedDisks(world);
                return true;
            });
        }
        SimulatedPowerDelivery delivery;
        delivery.notificationID = notificationID = record.nextNotificationID++;
        delivery.message = message;
        delivery.sentAtMs = nowMs();
        if (message == SimulatedPowerMessage::willSleep) {
            delivery.giveUpAtMs = delivery.sentAtMs + giveUpAfter.count();
        }
        for (const auto& registration : record.registrations) {
            delivery.recipients.push_back(registration.id);
        }
        if (delivery.recipients.empty()) {
            delivery.completedAtMs = delivery.sentAtMs;
        }
        record.messages.push_back(std::move(delivery));
        record.trimHistory();
        return true;
    });
    return notificationID;
}

SimulatedPowerFile::Answer SimulatedPowerFile::waitForAnswers(std::int64_t notificationID,
                                                              std::chrono::milliseconds wait,
                                                              const std::atomic<bool>* stop) const {
    const auto waitEnd = std::chrono::steady_clock::now() + wait;
    for (;;) {
        forgetEndedPrograms();
        const SimulatedPowerRecord record = read();
        const SimulatedPowerDelivery* message = record.findMessage(notificationID);
        if (!message) {
            return Answer{};
        }
        const std::int64_t now = nowMs();
        const bool givenUp = message->givenUp(now);
        const bool stopped = stop && stop->load();
        if (message->completedAtMs || givenUp || stopped ||
            std::chrono::steady_clock::now() >= waitEnd) {
            const bool acknowledged = message->completedAtMs && !givenUp;
            std::int64_t end = now;
            if (acknowledged) {
                end = *message->completedAtMs;
            } else if (givenUp) {
                end = std::min(now, *message->giveUpAtMs);
            }
            return Answer{acknowledged, std::chrono::milliseconds(end - message->sentAtMs)};
        }
        std::this_thread::sleep_for(pollStep);
    }
}

SimulatedPowerFile::SleepCycle
SimulatedPowerFile::runSleepCycle(std::chrono::milliseconds pause,
                                  std::chrono::milliseconds giveUpAfter,
                                  const std::atomic<bool>* stop) const {
    SleepCycle cycle;
    const std::int64_t willSleep = send(SimulatedPowerMessage::willSleep, giveUpAfter);
    // The give-up bounds this wait; the extra second only covers polling.
    cycle.willSleep = waitForAnswers(willSleep, giveUpAfter + std::chrono::seconds(1), stop);
    sleepUnlessStopped(pause, stop);
    const std::int64_t wake = send(SimulatedPowerMessage::hasPoweredOn);
    cycle.hasPoweredOn = waitForAnswers(wake, wakeDeliveryWait, stop);
    return cycle;
}

} // namespace berthkeep
