#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "Berthkeep/Inventory/DiskUtilityRunning.hpp"

namespace berthkeep {

// Runs `diskutil` as a child process through the shared process runner. A child
// still running at the time-out gets SIGTERM, and SIGKILL when it is still there
// after the grace period; run() returns only once the child is gone. Holds no
// mutable state, so several threads may run commands at once.
//
// Errors: ProcessLaunchError (unchanged) when the child cannot be started;
// DiskUtilityError 124 "diskutil command timed out" at the time-out; otherwise a
// DiskUtilityError with the exit status (or the number of the signal that ended
// the child) and the trimmed standard error, or "diskutil command failed" when
// that is empty or not UTF-8.
class LiveDiskUtilityRunner final : public DiskUtilityRunning {
public:
    static constexpr const char* defaultExecutablePath = "/usr/sbin/diskutil";
    static constexpr std::chrono::milliseconds defaultTimeout{5000};
    static constexpr std::chrono::milliseconds defaultTerminationGracePeriod{250};

    explicit LiveDiskUtilityRunner(
        std::string executablePath = defaultExecutablePath,
        std::chrono::milliseconds timeout = defaultTimeout,
        std::chrono::milliseconds terminationGracePeriod = defaultTerminationGracePeriod);

    std::string run(const std::vector<std::string>& arguments) const override;

    const std::string& executablePath() const { return m_executablePath; }
    std::chrono::milliseconds timeout() const { return m_timeout; }
    std::chrono::milliseconds terminationGracePeriod() const { return m_terminationGracePeriod; }

private:
    std::string m_executablePath;
    std::chrono::milliseconds m_timeout;
    std::chrono::milliseconds m_terminationGracePeriod;
};

} // namespace berthkeep
