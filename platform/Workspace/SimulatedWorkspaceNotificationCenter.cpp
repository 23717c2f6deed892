#include "platform/Workspace/SimulatedWorkspaceNotificationCenter.hpp"

#include "platform/SimulatedMachine/SimulatedFileWatcher.hpp"

#include <vector>

namespace berthkeep {

SimulatedWorkspaceNotificationCenter::SimulatedWorkspaceNotificationCenter(
    SimulatedStateFile stateFile, std::chrono::milliseconds pollInterval)
    : m_stateFile(std::move(stateFile))
    , m_pollInterval(pollInterval) {}

SimulatedWorkspaceNotificationCenter::~SimulatedWorkspaceNotificationCenter() {
    if (m_watcher) {
        m_watcher->detach();
        m_watcher.release()->deleteLater();
    }
}

WorkspaceNotificationCenter::ObserverToken
SimulatedWorkspaceNotificationCenter::addObserver(WorkspaceNotificationName name,
                                                  Observer observer) {
    if (!m_watcher) {
        try {
            m_known = mountedVolumes();
        } catch (const SimulatedStateError&) {
            m_known.clear();
        }
        m_watcher = std::make_unique<SimulatedFileWatcher>(
            QString::fromStdString(m_stateFile.path()), m_pollInterval, [this] { refresh(); });
    }
    const ObserverToken token = m_nextToken++;
    m_observers.emplace(token, Entry{name, std::move(observer)});
    return token;
}

void SimulatedWorkspaceNotificationCenter::removeObserver(ObserverToken token) {
    m_observers.erase(token);
}

// Keyed by BSD name, or by mount path for network volumes, which have none.
std::map<std::string, SimulatedWorkspaceNotificationCenter::MountedVolume>
SimulatedWorkspaceNotificationCenter::mountedVolumes() const {
    const SimulatedWorld world = m_stateFile.read();
    std::map<std::string, MountedVolume> volumes;
    for (const auto& disk : world.disks) {
        for (const auto& volume : disk.volumes) {
            if (volume.mounted && volume.mountPath) {
                volumes.emplace(volume.bsdName,
                                MountedVolume{*volume.mountPath, volume.volumeName.value_or("")});
            }
        }
    }
    for (const auto& share : world.networkVolumes) {
        volumes.emplace("network:" + share.mountPath, MountedVolume{share.mountPath, share.name});
    }
    return volumes;
}

void SimulatedWorkspaceNotificationCenter::refresh() {
    std::map<std::string, MountedVolume> current;
    try {
        current = mountedVolumes();
    } catch (const SimulatedStateError&) {
        return; // a file being rewritten by hand is not a mass unmount
    }
    std::vector<WorkspaceVolumeNotification> notifications;
    for (const auto& [key, volume] : m_known) {
        if (!current.count(key)) {
            notifications.push_back(
                {WorkspaceNotificationName::willUnmount, volume.path, volume.name, {}, {}});
            notifications.push_back(
                {WorkspaceNotificationName::didUnmount, volume.path, volume.name, {}, {}});
        }
    }
    for (const auto& [key, volume] : current) {
        auto known = m_known.find(key);
        if (known == m_known.end()) {
            notifications.push_back(
                {WorkspaceNotificationName::didMount, volume.path, volume.name, {}, {}});
        } else if (!(known->second == volume)) {
            notifications.push_back({WorkspaceNotificationName::didRenameVolume, volume.path,
                                     volume.name, known->second.path, known->second.name});
        }
    }
    m_known = std::move(current);
    for (const auto& notification : notifications) {
        post(notification);
    }
}

void SimulatedWorkspaceNotificationCenter::post(const WorkspaceVolumeNotification& notification) {
    std::vector<ObserverToken> tokens;
    for (const auto& [token, entry] : m_observers) {
        if (entry.name == notification.name) {
            tokens.push_back(token);
        }
    }
    for (auto token : tokens) {
        auto it = m_observers.find(token);
        if (it == m_observers.end()) {
            continue; // removed by an earlier observer
        }
        const Observer observer = it->second.observer;
        observer(notification);
    }
}

} // namespace berthkeep
