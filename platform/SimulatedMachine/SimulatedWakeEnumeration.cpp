#include "platform/SimulatedMachine/SimulatedWakeEnumeration.hpp"

#include <algorithm>

namespace berthkeep {

std::vector<std::string> bringBackDisksGoneSince(SimulatedWorld& world,
                                                 const SimulatedWorld& asleep) {
    std::vector<std::string> added;
    for (const auto& disk : asleep.disks) {
        if (world.findDisk(disk.bsdName) || asleep.physicalDiskOf(disk)->isDiskImage()) {
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
    // What the wake brought back is plugged in again, no longer waiting to be
    // replugged: left parked, a replug would make a second copy of it.
    std::erase_if(world.parkedDisks, [&added](const SimulatedDisk& parked) {
        return std::find(added.begin(), added.end(), parked.bsdName) != added.end();
    });
    return added;
}

} // namespace berthkeep
