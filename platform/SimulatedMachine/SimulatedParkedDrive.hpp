#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "platform/SimulatedMachine/SimulatedWorld.hpp"

namespace berthkeep {

// A drive waiting in the world's parked disks to be plugged in again: its whole
// disk and, right after it, the APFS containers parked with it. A BSD name is
// lent again while its drive waits, so two parked drives may carry one name; a
// drive is known by its place, and of two on one name the older is first in line.
struct SimulatedParkedDrive {
    std::size_t first = 0; // its whole disk, parkedDisks[first]
    std::size_t count = 1; // that disk and its containers

    bool operator==(const SimulatedParkedDrive&) const = default;
};

// Parks the disks of one ejected drive behind every drive already waiting, its
// whole disk first so that its containers follow it.
void parkDrive(SimulatedWorld& world, std::vector<SimulatedDisk> disks);
// Every parked drive, oldest first. A container that does not follow the disk it
// sits on (a hand-made state file) is a drive of its own.
std::vector<SimulatedParkedDrive> parkedDrives(const SimulatedWorld& world);
// The drive's disks where they wait, whole disk first; valid until the park changes.
std::span<const SimulatedDisk> disksOf(const SimulatedWorld& world,
                                       const SimulatedParkedDrive& drive);
// Takes the drives out of the park and returns their disks, a list per drive in
// the order given, whole disk first.
std::vector<std::vector<SimulatedDisk>>
takeParkedDrives(SimulatedWorld& world, const std::vector<SimulatedParkedDrive>& drives);

} // namespace berthkeep
