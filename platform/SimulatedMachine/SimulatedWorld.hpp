#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Paths/VolumesFolder.hpp"

namespace berthkeep {

// One slice of a disk that may carry a file system: a partition of a partitioned
// disk, or a volume of an APFS container.
struct SimulatedVolume {
    std::string bsdName; // "disk4s2"
    std::string content; // partition type, "EFI", "Apple_APFS", "Microsoft Basic Data", ...
    std::optional<std::string> volumeName;
    std::optional<std::string> volumeUUID;
    std::optional<std::string> filesystemType; // "msdos", "apfs", "exfat", "hfs"
    std::optional<std::string> filesystemName; // "MS-DOS (FAT32)", "APFS", ...
    bool mountable = true;                     // the service would mount it
    bool mounted = false;
    std::optional<std::string> mountPath; // filled while mounted
    bool hidden = false;                  // not browsable (system volumes)
    bool writable = true;
    bool createdMountDirectory = false;           // we made the folder, so unmount removes it
    std::vector<std::string> omittedResourceKeys; // volume resource values left unanswered
    bool resourceValuesFail = false;              // reading its resource values fails
    std::uint64_t sizeBytes = 0;

    bool operator==(const SimulatedVolume&) const = default;
};

// A whole disk: a physical drive, a disk image, or an APFS container synthesized
// on a partition of another disk.
struct SimulatedDisk {
    std::string bsdName; // "disk4"
    std::string mediaName;
    std::string busProtocol; // "USB", "PCI-Express", "Disk Image", ...
    bool internal = false;
    bool removable = false; // removable media
    bool ejectable = false;
    bool writable = true;
    std::string content;                  // "GUID_partition_scheme", "FDisk_partition_scheme"
    std::optional<std::string> imagePath; // set for attached disk images
    std::optional<std::string>
        apfsPhysicalStore; // set for APFS containers: the partition it lives on
    std::optional<std::string> deviceTreePath;
    std::uint64_t sizeBytes = 0;
    std::vector<SimulatedVolume> volumes;

    bool isDiskImage() const { return imagePath.has_value(); }
    bool isAPFSContainer() const { return apfsPhysicalStore.has_value(); }
    bool operator==(const SimulatedDisk&) const = default;
};

// A mounted file server share: no BSD name, never listed by diskutil.
struct SimulatedNetworkVolume {
    std::string name;
    std::string url; // "smb://server/share"
    std::string mountPath;
    std::optional<std::string> volumeUUID;
    bool createdMountDirectory = false;

    bool operator==(const SimulatedNetworkVolume&) const = default;
};

// How one invocation of a stand-in tool misbehaves. The tool is "diskutil" or
// "hdiutil"; the verb is its first argument ("list", "info", "eject", ...).
struct ScriptedBehaviour {
    std::string tool = "diskutil";
    std::string verb;
    std::optional<std::string> device; // only this device; any when absent
    std::optional<int> exitStatus;     // fail with this status, world unchanged
    std::string standardError;
    std::string standardOutput;
    int delayMilliseconds = 0;
    bool hang = false;            // never answers
    bool ignoreTerminate = false; // while hanging, shrug off SIGTERM
    // Once hanging (SIGTERM already shrugged off when asked), the tool writes here
    // the steady-clock time it began to hang, in nanoseconds: a test that times
    // the hang knows when the child was ready for it.
    std::optional<std::string> readyFile;
    std::optional<int> remainingUses; // used up after this many matches

    bool operator==(const ScriptedBehaviour&) const = default;
};

struct SimulatedWorld {
    static constexpr int currentVersion = 1;

    std::string mountRoot = "/Volumes";
    // Make real folders for mounted volumes under the mount root (when writable).
    // Off lets tests use "/Volumes" paths without touching the real folder.
    bool createMountDirectories = true;
    std::vector<SimulatedDisk> disks;
    // Ejected disks (with their containers), still plugged in: they answer no tool
    // until replugged, unmounted, as a drive does when it is plugged in again.
    // Oldest first, each whole disk followed by its containers (SimulatedParkedDrive).
    std::vector<SimulatedDisk> parkedDisks;
    std::vector<SimulatedNetworkVolume> networkVolumes;
    std::vector<ScriptedBehaviour> behaviours;
    // How many times the machine has woken; an eject that began before the latest
    // wake finds the disk re-enumerated under it.
    std::uint64_t wakeCount = 0;

    // Lookups by BSD name (a leading "/dev/" is accepted).
    const SimulatedDisk* findDisk(std::string_view bsdName) const;
    SimulatedDisk* findDisk(std::string_view bsdName);
    const SimulatedVolume* findVolume(std::string_view bsdName) const;
    SimulatedVolume* findVolume(std::string_view bsdName);
    // The whole disk a volume belongs to.
    const SimulatedDisk* diskOfVolume(std::string_view bsdName) const;
    // The disk whose removable/internal/protocol facts apply: for an APFS container
    // the disk that holds its physical store, else the disk itself.
    const SimulatedDisk* physicalDiskOf(const SimulatedDisk& disk) const;
    // APFS containers that live on a partition of the given disk.
    std::vector<const SimulatedDisk*> containersOn(const SimulatedDisk& disk) const;

    // The first unused "diskN" number, at least `minimum`.
    int nextFreeDiskNumber(int minimum = 2) const;
    // Where a volume of this name is mounted: "<mountRoot>/<name>", with " 1", " 2"
    // appended when that path is taken by another mounted volume.
    std::string mountPathFor(const std::string& volumeName) const;
    bool isMountPathTaken(const std::string& path) const;
    // The mount root as the volumes folder the program's layers are given.
    VolumesFolder volumesFolder() const { return VolumesFolder(mountRoot); }

    bool operator==(const SimulatedWorld&) const = default;
};

std::string stripDevicePrefix(std::string_view device);

class SimulatedStateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Pure: bytes of the state file to a world, or SimulatedStateError naming the
// offending field. Missing optional members take their defaults.
SimulatedWorld parseSimulatedWorld(std::string_view json);
std::string serializeSimulatedWorld(const SimulatedWorld& world);

} // namespace berthkeep
