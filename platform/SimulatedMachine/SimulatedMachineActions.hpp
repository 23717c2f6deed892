#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/SimulatedMachine/SimulatedWorld.hpp"

namespace berthkeep {

// What one stand-in command prints and returns.
struct SimulatedCommandResult {
    int exitStatus = 0;
    std::string standardOutput;
    std::string standardError;

    bool operator==(const SimulatedCommandResult&) const = default;
};

// The changes the disk tools make. Devices are BSD names with or without "/dev/";
// unmount also takes a mount path (network volumes have nothing else).
// Mount folders are created under the mount root when it is writable, and the
// ones created here are removed again when their volume goes away.

// Ejects the whole physical disk behind the device, with every APFS container on
// it, and parks them: the drive is still plugged in and can be replugged.
SimulatedCommandResult ejectDisk(SimulatedWorld& world, std::string_view device);
// How an eject ends that began before the machine's latest wake: the bus was
// enumerated again meanwhile, so the device it was ejecting is already gone and
// the disk in its place stays attached, only its volumes unmounted.
SimulatedCommandResult ejectDiskAcrossWake(SimulatedWorld& world, std::string_view device);
SimulatedCommandResult unmountVolume(SimulatedWorld& world, std::string_view device);
SimulatedCommandResult mountVolume(SimulatedWorld& world, std::string_view device);
// Mounts every mountable volume of the whole disk and of the containers on it.
SimulatedCommandResult mountWholeDisk(SimulatedWorld& world, std::string_view device);

// The mounted volumes an eject or unmount of the device would take away (for an
// eject: every mounted volume of the physical disk and its containers).
std::vector<const SimulatedVolume*>
volumesUnmountedBy(const SimulatedWorld& world, std::string_view verb, std::string_view device);

// Pulls a disk out without unmounting (or drops a network volume by mount path or
// name); false when nothing matched.
bool detachDevice(SimulatedWorld& world, std::string_view deviceOrMountPath);

// Brings a parked disk (and the containers parked with it) back, every volume
// unmounted; of two parked on the name, the one parked first, and the other
// waits. With `renumber` the disks get the next free numbers ("disk4" may
// come back as "disk7", "disk4s2" as "disk7s2"); without it a number that is
// taken meanwhile is an error, and so is the name of a container (its disk is
// the one to replug). Returns the whole disk's name as it came back.
struct ReplugResult {
    bool replugged = false;
    std::string diskName; // when replugged
    std::string message;  // why not, otherwise
};
ReplugResult replugDisk(SimulatedWorld& world, std::string_view device, bool renumber);

// Gives a volume its mount path and mount folder, as the service does when it
// mounts it. Used by the presets as well.
void markVolumeMounted(SimulatedWorld& world, SimulatedVolume& volume);
void markVolumeUnmounted(SimulatedVolume& volume);
// The same for a network volume: its folder under the mount root.
void createNetworkMountDirectory(const SimulatedWorld& world, SimulatedNetworkVolume& share);
void removeNetworkMountDirectory(SimulatedNetworkVolume& share);

} // namespace berthkeep
