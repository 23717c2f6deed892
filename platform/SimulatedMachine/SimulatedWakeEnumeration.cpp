#include "platform/SimulatedMachine/SimulatedWakeEnumeration.hpp"

#include "platform/SimulatedMachine/SimulatedParkedDrive.hpp"

#include <algorithm>
#include <set>

namespace berthkeep {

std::vector<std::string> bringBackParkedDisks(SimulatedWorld& world) {
    std::vector<SimulatedParkedDrive> coming;
    // Names given back in this wake: the older of two parked drives on one name
    // takes it, the younger waits.
    std::set<std::string> claimed;
    for (const auto& drive : parkedDrives(world)) {
        const auto disks = disksOf(world, drive);
        const bool taken = std::any_of(disks.begin(), disks.end(), [&](const SimulatedDisk& disk) {
            return world.findDisk(disk.bsdName) || claimed.count(disk.bsdName) > 0;
        });
        if (taken || disks.front().isDiskImage()) {
            continue;
        }
        for (const auto& disk : disks) {
            claimed.insert(disk.bsdName);
        }
        coming.push_back(drive);
    }
    // Plugged in again, no longer waiting to be replugged: left parked, a replug
    // would make a second copy.
    std::vector<std::string> added;
    for (auto& disks : takeParkedDrives(world, coming)) {
        for (auto& disk : disks) {
            for (auto& volume : disk.volumes) {
                // The folders went with the eject; nothing of the old mount is left.
                volume.mounted = false;
                volume.mountPath.reset();
                volume.createdMountDirectory = false;
            }
            added.push_back(disk.bsdName);
            world.disks.push_back(std::move(disk));
        }
    }
    return added;
}

} // namespace berthkeep
