#include "platform/SimulatedMachine/SimulatedParkedDrive.hpp"

#include <algorithm>
#include <iterator>

namespace berthkeep {

namespace {

bool sitsOn(const SimulatedDisk& container, const SimulatedDisk& whole) {
    return container.apfsPhysicalStore &&
           std::any_of(whole.volumes.begin(), whole.volumes.end(), [&](const SimulatedVolume& v) {
               return v.bsdName == *container.apfsPhysicalStore;
           });
}

} // namespace

void parkDrive(SimulatedWorld& world, std::vector<SimulatedDisk> disks) {
    std::stable_partition(disks.begin(), disks.end(),
                          [](const SimulatedDisk& disk) { return !disk.isAPFSContainer(); });
    std::move(disks.begin(), disks.end(), std::back_inserter(world.parkedDisks));
}

std::vector<SimulatedParkedDrive> parkedDrives(const SimulatedWorld& world) {
    std::vector<SimulatedParkedDrive> drives;
    for (std::size_t i = 0; i < world.parkedDisks.size(); ++i) {
        // Only the drive right before it: by its store's name alone, an older
        // drive on the same disk name would claim the container too.
        if (!drives.empty() &&
            sitsOn(world.parkedDisks[i], world.parkedDisks[drives.back().first])) {
            ++drives.back().count;
        } else {
            drives.push_back({i, 1});
        }
    }
    return drives;
}

std::span<const SimulatedDisk> disksOf(const SimulatedWorld& world,
                                       const SimulatedParkedDrive& drive) {
    return std::span<const SimulatedDisk>(world.parkedDisks).subspan(drive.first, drive.count);
}

std::vector<std::vector<SimulatedDisk>>
takeParkedDrives(SimulatedWorld& world, const std::vector<SimulatedParkedDrive>& drives) {
    std::vector<std::vector<SimulatedDisk>> taken;
    std::vector<bool> leaving(world.parkedDisks.size(), false);
    for (const auto& drive : drives) {
        const auto disks = disksOf(world, drive);
        taken.emplace_back(disks.begin(), disks.end());
        std::fill_n(leaving.begin() + static_cast<std::ptrdiff_t>(drive.first), drive.count, true);
    }
    std::vector<SimulatedDisk> staying;
    for (std::size_t i = 0; i < world.parkedDisks.size(); ++i) {
        if (!leaving[i]) {
            staying.push_back(std::move(world.parkedDisks[i]));
        }
    }
    world.parkedDisks = std::move(staying);
    return taken;
}

} // namespace berthkeep
