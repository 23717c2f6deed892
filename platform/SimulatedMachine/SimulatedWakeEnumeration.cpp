#include "platform/SimulatedMachine/SimulatedWakeEnumeration.hpp"

#include <algorithm>

namespace berthkeep {

std::vector<std::string> bringBackParkedDisks(SimulatedWorld& world) {
    // The parked disks as a machine of their own, so a parked container finds
    // the parked disk that holds its store.
    SimulatedWorld parked;
    parked.disks = world.parkedDisks;
    std::vector<std::string> added;
    for (const auto& disk : parked.disks) {
        if (world.findDisk(disk.bsdName) || parked.physicalDiskOf(disk)->isDiskImage()) {
            continue;
        }
        SimulatedDisk back = disk;
        for (auto& volume : back.volumes) {
            // The folders went with the eject; nothing of the old mount is left.
            volume.mounted = false;
            volume.mountPath.reset();
            volume.createdMountDirectory = false;
        }
        world.disks.push_back(std::move(back));
        added.push_back(disk.bsdName);
    }
    // Plugged in again, no longer waiting to be replugged: left parked, a replug
    // would make a second copy.
    std::erase_if(world.parkedDisks, [&added](const SimulatedDisk& disk) {
        return std::find(added.begin(), added.end(), disk.bsdName) != added.end();
    });
    return added;
}

} // namespace berthkeep
