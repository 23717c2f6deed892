#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace berthkeep {

enum class WorkspaceNotificationName { didMount, willUnmount, didUnmount, didRenameVolume };

// What a volume notification carries: the volume's path and name, and for a
// rename also the ones it had before.
struct WorkspaceVolumeNotification {
    WorkspaceNotificationName name = WorkspaceNotificationName::didMount;
    std::string volumePath;
    std::string localizedName;
    std::optional<std::string> oldVolumePath;
    std::optional<std::string> oldLocalizedName;

    bool operator==(const WorkspaceVolumeNotification&) const = default;
};

// The workspace's notification center for volume events. Observers are called on
// the main loop; add and remove them on the main thread.
class WorkspaceNotificationCenter {
public:
    using ObserverToken = std::uint64_t;
    using Observer = std::function<void(const WorkspaceVolumeNotification&)>;

    virtual ~WorkspaceNotificationCenter() = default;

    virtual ObserverToken addObserver(WorkspaceNotificationName name, Observer observer) = 0;
    // Unknown or already removed tokens are ignored.
    virtual void removeObserver(ObserverToken token) = 0;
};

} // namespace berthkeep
