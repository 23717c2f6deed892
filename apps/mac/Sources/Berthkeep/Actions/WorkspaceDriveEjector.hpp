#pragma once

#include <memory>

#include "Berthkeep/Actions/AttachedDriveCheck.hpp"
#include "Berthkeep/Actions/DriveEjecting.hpp"
#include "Berthkeep/Actions/EjectDiskUtilityRunning.hpp"
#include "platform/MountedVolumes/MountedVolumeUnmounting.hpp"

namespace berthkeep {

// The ejector over `diskutil` and the file manager.
// - device mode: `diskutil eject` of the eject target, else of the volume;
// - volume mode: `diskutil unmount` of the volume, or, for a volume without a BSD
//   name, the file manager's unmount of its mount location.
// A drive with nothing to go by throws DriveOperationError::notMounted(). Before
// `diskutil` runs, the check confirms that the BSD name still names this drive
// (else noLongerAttached, and nothing runs); after it ends well, the volume must
// be gone (else stillMounted, with what the tool said). A refusal of the tool
// arrives as its error, unless the check then finds the drive gone (pulled out
// under the command): noLongerAttached. Main thread only.
class WorkspaceDriveEjector final : public DriveEjecting {
public:
    WorkspaceDriveEjector(std::shared_ptr<EjectDiskUtilityRunning> diskUtilityRunner,
                          std::shared_ptr<MountedVolumeUnmounting> volumeUnmounter,
                          std::shared_ptr<AttachedDriveCheck> check);

    QCoro::Task<void> eject(DetectedDrive drive, DriveEjectMode mode,
                            std::shared_ptr<CancelToken> cancel) override;

private:
    QCoro::Task<void> runChecked(DetectedDrive drive, std::vector<std::string> arguments,
                                 std::string failureMessage, std::shared_ptr<CancelToken> cancel);

    std::shared_ptr<EjectDiskUtilityRunning> m_diskUtilityRunner;
    std::shared_ptr<MountedVolumeUnmounting> m_volumeUnmounter;
    std::shared_ptr<AttachedDriveCheck> m_check;
};

} // namespace berthkeep
