#pragma once

#include <memory>
#include <string>

#include "platform/Paths/VolumesFolder.hpp"
#include "platform/SimulatedMachine/SimulatedStateFile.hpp"

namespace berthkeep {

class AppBundle;
class DiskArbitrationService;
class LoginItemService;
class MountedVolumeListing;
class MountedVolumeUnmounting;
class SystemPowerManagement;
class UrlOpening;
class WorkspaceNotificationCenter;

// The operating-system services the program runs over, chosen in one place.
// Here every disk-facing service is the simulated machine's: its disk service,
// volume listing and unmounting, power management and volume notifications,
// and its stand-in disk tools. Login items are the desktop's autostart folder;
// links open with the desktop's handler.
struct BerthkeepLivePlatform {
    SimulatedStateFile stateFile;
    std::shared_ptr<DiskArbitrationService> diskArbitration;
    std::shared_ptr<const MountedVolumeListing> mountedVolumes;
    std::shared_ptr<MountedVolumeUnmounting> volumeUnmounting;
    std::shared_ptr<SystemPowerManagement> powerManagement;
    std::shared_ptr<WorkspaceNotificationCenter> workspace;
    std::shared_ptr<LoginItemService> loginItems;
    // Links, the feedback address and the system settings.
    std::shared_ptr<UrlOpening> urlOpener;
    VolumesFolder volumesFolder;
    std::string diskUtilityPath;
    std::string diskImageUtilityPath;

    // The machine in `stateFile`; the stand-in tools are looked for beside the
    // bundle (see standInToolPath).
    static BerthkeepLivePlatform simulatedMachine(SimulatedStateFile stateFile,
                                                  const AppBundle& bundle);

    // The build's stand-in tool: "<folder holding the bundle>/sim-bin/<tool>",
    // where the build puts it, when that file is executable; else `fallback`.
    static std::string standInToolPath(const AppBundle& bundle, const std::string& tool,
                                       const std::string& fallback);
};

} // namespace berthkeep
