#pragma once

#include <memory>

#include "Berthkeep/Actions/DriveEjecting.hpp"
#include "Berthkeep/Actions/EjectDiskUtilityRunning.hpp"
#include "platform/MountedVolumes/MountedVolumeUnmounting.hpp"

namespace berthkeep {

// The ejector over `diskutil` and the file manager.
// - device mode: `diskutil eject` of the eject target, else of the volume;
// - volume mode: `diskutil unmount` of the volume, or, for a volume without a BSD
//   name, the file manager's unmount of its mount location.
// A drive with nothing to go by throws DriveOperationError::notMounted(). No
// check beforehand: a refusal of the tool arrives as its error. Main thread only.
class WorkspaceDriveEjector final : public DriveEjecting {
public:
    WorkspaceDriveEjector(std::shared_ptr<EjectDiskUtilityRunning> diskUtilityRunner,
                          std::shared_ptr<MountedVolumeUnmounting> volumeUnmounter);

    QCoro::Task<void> eject(DetectedDrive drive, DriveEjectMode mode,
                            std::shared_ptr<CancelToken> cancel) override;

private:
    std::shared_ptr<EjectDiskUtilityRunning> m_diskUtilityRunner;
    std::shared_ptr<MountedVolumeUnmounting> m_volumeUnmounter;
};

} // namespace berthkeep
