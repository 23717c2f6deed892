#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "platform/SimulatedMachine/SimulatedStateFile.hpp"
#include "platform/Workspace/WorkspaceNotificationCenter.hpp"

namespace berthkeep {

class SimulatedFileWatcher;

// Volume notifications of the simulated machine. From the first observer on it
// watches the state file and compares the mounted volumes with what it saw
// before: a volume that went away gives will-unmount then did-unmount, one that
// came gives did-mount, and one whose name or mount path changed gives
// did-rename. The volumes mounted when watching starts are taken as they are.
class SimulatedWorkspaceNotificationCenter : public WorkspaceNotificationCenter {
public:
    static constexpr std::chrono::milliseconds defaultPollInterval{30000};

    explicit SimulatedWorkspaceNotificationCenter(
        SimulatedStateFile stateFile, std::chrono::milliseconds pollInterval = defaultPollInterval);
    ~SimulatedWorkspaceNotificationCenter() override;

    ObserverToken addObserver(WorkspaceNotificationName name, Observer observer) override;
    void removeObserver(ObserverToken token) override;

private:
    struct MountedVolume {
        std::string path;
        std::string name;
        bool operator==(const MountedVolume&) const = default;
    };
    struct Entry {
        WorkspaceNotificationName name;
        Observer observer;
    };

    std::map<std::string, MountedVolume> mountedVolumes() const;
    void refresh();
    void post(const WorkspaceVolumeNotification& notification);

    SimulatedStateFile m_stateFile;
    std::chrono::milliseconds m_pollInterval;
    std::unique_ptr<SimulatedFileWatcher> m_watcher;
    std::map<std::string, MountedVolume> m_known;
    std::map<ObserverToken, Entry> m_observers;
    ObserverToken m_nextToken = 1;
};

} // namespace berthkeep
