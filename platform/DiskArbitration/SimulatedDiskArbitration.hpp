#pragma once

#include <atomic>
#include <chrono>
#include <memory>

#include "platform/DiskArbitration/DiskArbitrationSession.hpp"
#include "platform/SimulatedMachine/SimulatedStateFile.hpp"

namespace berthkeep {

// The disk service of the simulated machine. Sessions answer from the state file;
// a scheduled session watches it (file watcher plus a slow safety check, which
// reads nothing while the file stays as it was) and reports appeared,
// description-changed and disappeared disks on the main loop.
class SimulatedDiskArbitration : public DiskArbitrationService {
public:
    static constexpr std::chrono::milliseconds defaultPollInterval{30000};

    explicit SimulatedDiskArbitration(SimulatedStateFile stateFile,
                                      std::chrono::milliseconds pollInterval = defaultPollInterval);

    std::unique_ptr<DiskArbitrationSession> createSession() override;

    // Control surface for tests.
    void setSessionCreationFails(bool fails) { m_sessionCreationFails = fails; }
    int sessionsCreated() const { return m_sessionsCreated; }

private:
    SimulatedStateFile m_stateFile;
    std::chrono::milliseconds m_pollInterval;
    std::atomic<bool> m_sessionCreationFails{false};
    std::atomic<int> m_sessionsCreated{0};
};

} // namespace berthkeep
