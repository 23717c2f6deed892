#pragma once

#include <QUrl>
#include <QUuid>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace berthkeep {

// The description values the program reads of one disk. A value the service does
// not report for that disk stays absent (whole disks carry no volume values,
// network volumes no media values, ...).
struct DiskDescriptionValues {
    std::optional<bool> deviceInternal;
    std::optional<std::string> deviceProtocol;
    std::optional<bool> mediaEjectable;
    std::optional<bool> mediaLeaf;
    std::optional<bool> mediaRemovable;
    std::optional<bool> mediaWhole;
    std::optional<std::string> volumeName;
    std::optional<QUuid> volumeUUID;
    std::optional<bool> volumeMountable;
    std::optional<bool> volumeNetwork;
    std::optional<QUrl> volumePath; // a file URL of the mount point

    bool operator==(const DiskDescriptionValues&) const = default;
};

// A disk as the service hands it out: a stable identity and, for disks backed by
// a device, its BSD name. Network volumes have no BSD name.
struct DiskArbitrationDisk {
    std::string identity;
    std::optional<std::string> bsdName;
    // What the service last knew of the disk; a disk that has disappeared still
    // answers with it.
    DiskDescriptionValues lastKnownDescription;

    bool operator==(const DiskArbitrationDisk&) const = default;
};

// One session with the disk service. Callbacks run on the main thread, and only
// while the session is scheduled on the main loop. Scheduling reports every disk
// already present as appeared, then every change.
class DiskArbitrationSession {
public:
    using DiskCallback = std::function<void(const DiskArbitrationDisk& disk)>;
    using CallbackRegistration = std::uint64_t;

    virtual ~DiskArbitrationSession() = default;

    virtual void scheduleWithMainLoop() = 0;
    virtual void unscheduleFromMainLoop() = 0;

    virtual CallbackRegistration registerDiskAppearedCallback(DiskCallback callback) = 0;
    virtual CallbackRegistration registerDiskDescriptionChangedCallback(DiskCallback callback) = 0;
    virtual CallbackRegistration registerDiskDisappearedCallback(DiskCallback callback) = 0;
    virtual void unregisterCallback(CallbackRegistration registration) = 0;

    // No disk when the name is not known to the service.
    virtual std::optional<DiskArbitrationDisk>
    createDiskFromBSDName(const std::string& bsdName) = 0;
    // The current description; the last known one for a disk that has gone.
    virtual std::optional<DiskDescriptionValues>
    copyDescription(const DiskArbitrationDisk& disk) = 0;

    static std::optional<std::string> bsdNameOfDisk(const DiskArbitrationDisk& disk) {
        return disk.bsdName;
    }
};

// Creates sessions; a session may fail to be created (no session then).
class DiskArbitrationService {
public:
    virtual ~DiskArbitrationService() = default;
    virtual std::unique_ptr<DiskArbitrationSession> createSession() = 0;
};

} // namespace berthkeep
