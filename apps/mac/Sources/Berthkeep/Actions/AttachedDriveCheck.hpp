#pragma once

#include <memory>
#include <optional>
#include <string>

#include <QCoroTask>

#include "Berthkeep/Drive/DriveIdentity.hpp"
#include "Berthkeep/Inventory/DiskUtilityRunning.hpp"
#include "Berthkeep/Inventory/DiskUtilityVolumeFacts.hpp"
#include "BerthkeepShared/Detached.hpp"

namespace berthkeep {

// Fresh `diskutil info -plist` readings for the drive executors. Before an
// eject, unmount or mount: that the BSD name still names the drive the user
// chose, since the system hands a gone disk's name to the next disk. After an
// eject or unmount: that the volume is really gone. Each reading runs on a
// worker while the caller waits; the runner's own time-out bounds it. Main
// thread only.
class AttachedDriveCheck {
public:
    // What the caller knows of the drive it is about to act on.
    struct Expected {
        std::string bsdName;
        DriveIdentity identity;
        // Compared only when the identity is empty: the drive had no UUID and no
        // media facts to record.
        std::optional<std::string> mountPath;
        // The whole disk the command is given, when it is not `bsdName` itself.
        std::optional<std::string> wholeDisk;
    };

    explicit AttachedDriveCheck(std::shared_ptr<DiskUtilityRunning> runner,
                                std::shared_ptr<Executor> executor = {});

    // Throws DriveOperationError::noLongerAttached(errorDomain) when the device is
    // gone (the tool refused two readings in a row), is another drive, or no
    // longer lies on the whole disk. A drive that left nothing to compare is taken
    // as present. A reading the tool cannot give (a hang, no tool) throws that
    // error instead.
    QCoro::Task<void> confirm(Expected expected, std::string errorDomain) const;
    // Whether the drive is still mounted: its device is there, is the same drive
    // and has a mount point.
    QCoro::Task<bool> isStillMounted(Expected expected) const;

    // Whether the device's facts put it on `wholeDisk`: it is that disk, its
    // parent is, or its APFS container sits on a partition of it.
    static bool liesOn(const DiskUtilityVolumeFacts& facts, const std::string& wholeDisk);

private:
    static bool isSameDrive(const DiskUtilityVolumeFacts& facts, const Expected& expected);
    // Nothing when the tool does not know the device.
    QCoro::Task<std::optional<DiskUtilityVolumeFacts>> read(std::string bsdName) const;

    std::shared_ptr<DiskUtilityRunning> m_runner;
    std::shared_ptr<Executor> m_executor;
};

} // namespace berthkeep
