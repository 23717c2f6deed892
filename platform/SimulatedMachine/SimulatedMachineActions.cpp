#include "platform/SimulatedMachine/SimulatedMachineActions.hpp"

#include "platform/SimulatedMachine/SimulatedParkedDrive.hpp"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <unistd.h>

namespace berthkeep {

namespace {

namespace fs = std::filesystem;

SimulatedCommandResult failure(const std::string& message, int status = 1) {
    return SimulatedCommandResult{status, std::string(), message + "\n"};
}

SimulatedCommandResult success(const std::string& message) {
    return SimulatedCommandResult{0, message + "\n", std::string()};
}

void removeMountDirectory(const std::string& path) {
    // Only an empty folder goes; anything a test left inside stays visible.
    ::rmdir(path.c_str());
}

std::string describeVolume(const SimulatedVolume& volume) {
    return volume.volumeName && !volume.volumeName->empty()
               ? "Volume " + *volume.volumeName + " on " + volume.bsdName
               : "Volume on " + volume.bsdName;
}

SimulatedVolume* volumeAtMountPath(SimulatedWorld& world, std::string_view path) {
    for (auto& disk : world.disks) {
        for (auto& volume : disk.volumes) {
            if (volume.mounted && volume.mountPath && *volume.mountPath == path) {
                return &volume;
            }
        }
    }
    return nullptr;
}

// The physical disk behind a device and the APFS containers on it, i.e. all that
// an eject takes away.
std::set<std::string> disksGoingWith(const SimulatedWorld& world, const SimulatedDisk& start) {
    const SimulatedDisk* physical = world.physicalDiskOf(start);
    std::set<std::string> names{physical->bsdName};
    for (const auto* container : world.containersOn(*physical)) {
        names.insert(container->bsdName);
    }
    return names;
}

void removeDisks(SimulatedWorld& world, const std::set<std::string>& names, bool park) {
    std::vector<SimulatedDisk> going;
    for (auto& disk : world.disks) {
        if (!names.count(disk.bsdName)) {
            continue;
        }
        for (auto& volume : disk.volumes) {
            markVolumeUnmounted(volume);
        }
        if (park) {
            going.push_back(disk);
        }
    }
    if (park) {
        parkDrive(world, std::move(going));
    }
    world.disks.erase(
        std::remove_if(world.disks.begin(), world.disks.end(),
                       [&](const SimulatedDisk& disk) { return names.count(disk.bsdName) > 0; }),
        world.disks.end());
}

const SimulatedDisk* resolveDisk(const SimulatedWorld& world, std::string_view device) {
    if (const auto* disk = world.findDisk(device)) {
        return disk;
    }
    return world.diskOfVolume(device);
}

} // namespace

// True when the folder did not exist and was made here.
static bool createMountDirectory(const SimulatedWorld& world, const std::string& path) {
    // Only strictly inside the mount root: the root itself is never made or removed.
    const VolumesFolder root = world.volumesFolder();
    if (!world.createMountDirectories || !root.contains(path) || path == root.path()) {
        return false;
    }
    std::error_code error;
    if (fs::exists(path, error)) {
        return false;
    }
    return fs::create_directories(path, error) && !error;
}

void markVolumeMounted(SimulatedWorld& world, SimulatedVolume& volume) {
    if (volume.mounted && volume.mountPath) {
        return;
    }
    const std::string path = world.mountPathFor(volume.volumeName.value_or("Untitled"));
    volume.mounted = true;
    volume.mountPath = path;
    volume.createdMountDirectory = createMountDirectory(world, path);
}

void createNetworkMountDirectory(const SimulatedWorld& world, SimulatedNetworkVolume& share) {
    share.createdMountDirectory = createMountDirectory(world, share.mountPath);
}

void removeNetworkMountDirectory(SimulatedNetworkVolume& share) {
    if (share.createdMountDirectory) {
        removeMountDirectory(share.mountPath);
        share.createdMountDirectory = false;
    }
}

void markVolumeUnmounted(SimulatedVolume& volume) {
    if (volume.createdMountDirectory && volume.mountPath) {
        removeMountDirectory(*volume.mountPath);
    }
    volume.mounted = false;
    volume.mountPath.reset();
    volume.createdMountDirectory = false;
}

namespace {

SimulatedCommandResult endEject(SimulatedWorld& world, std::string_view device, bool park) {
    const SimulatedDisk* disk = resolveDisk(world, device);
    if (!disk) {
        return failure("Unable to find disk for " + std::string(device));
    }
    const SimulatedDisk* physical = world.physicalDiskOf(*disk);
    if (!physical->ejectable) {
        return failure("Unable to eject " + physical->bsdName + ": the disk is not ejectable");
    }
    const std::string name = physical->bsdName;
    const std::set<std::string> names = disksGoingWith(world, *disk);
    if (park) {
        removeDisks(world, names, true);
    } else {
        for (auto& candidate : world.disks) {
            if (names.count(candidate.bsdName)) {
                std::for_each(candidate.volumes.begin(), candidate.volumes.end(),
                              markVolumeUnmounted);
            }
        }
    }
    return success("Disk " + name + " ejected");
}

} // namespace

SimulatedCommandResult ejectDisk(SimulatedWorld& world, std::string_view device) {
    return endEject(world, device, true);
}

SimulatedCommandResult ejectDiskAcrossWake(SimulatedWorld& world, std::string_view device) {
    return endEject(world, device, false);
}

SimulatedCommandResult unmountVolume(SimulatedWorld& world, std::string_view device) {
    for (auto it = world.networkVolumes.begin(); it != world.networkVolumes.end(); ++it) {
        if (it->mountPath == device) {
            const std::string name = it->name;
            removeNetworkMountDirectory(*it);
            world.networkVolumes.erase(it);
            return success("Volume " + name + " on " + std::string(device) + " unmounted");
        }
    }
    SimulatedVolume* volume = world.findVolume(device);
    if (!volume) {
        volume = volumeAtMountPath(world, device);
    }
    if (!volume) {
        if (world.findDisk(device)) {
            return failure(stripDevicePrefix(device) +
                           " is a whole disk; unmount one of its volumes, or eject the disk");
        }
        return failure("Unable to find disk for " + std::string(device));
    }
    if (!volume->mounted) {
        return failure(describeVolume(*volume) + " failed to unmount: Volume is not mounted");
    }
    markVolumeUnmounted(*volume);
    return success(describeVolume(*volume) + " unmounted");
}

SimulatedCommandResult mountVolume(SimulatedWorld& world, std::string_view device) {
    SimulatedVolume* volume = world.findVolume(device);
    if (!volume) {
        if (world.findDisk(device)) {
            return failure(stripDevicePrefix(device) +
                           " is a whole disk; use mountDisk to mount its volumes");
        }
        return failure("Unable to find disk for " + std::string(device));
    }
    if (!volume->filesystemType || !volume->mountable) {
        return failure(describeVolume(*volume) + " failed to mount");
    }
    markVolumeMounted(world, *volume);
    return success(describeVolume(*volume) + " mounted");
}

SimulatedCommandResult mountWholeDisk(SimulatedWorld& world, std::string_view device) {
    const SimulatedDisk* disk = resolveDisk(world, device);
    if (!disk) {
        return failure("Unable to find disk for " + std::string(device));
    }
    const std::set<std::string> names = disksGoingWith(world, *disk);
    for (auto& candidate : world.disks) {
        if (!names.count(candidate.bsdName)) {
            continue;
        }
        for (auto& volume : candidate.volumes) {
            if (volume.filesystemType && volume.mountable) {
                markVolumeMounted(world, volume);
            }
        }
    }
    return success("Volume(s) mounted successfully");
}

std::vector<const SimulatedVolume*>
volumesUnmountedBy(const SimulatedWorld& world, std::string_view verb, std::string_view device) {
    std::vector<const SimulatedVolume*> volumes;
    if (verb == "unmount") {
        const SimulatedVolume* volume = world.findVolume(device);
        if (volume && volume->mounted && volume->mountPath) {
            volumes.push_back(volume);
        }
        return volumes;
    }
    const SimulatedDisk* disk = resolveDisk(world, device);
    if (verb != "eject" || !disk) {
        return volumes;
    }
    const std::set<std::string> names = disksGoingWith(world, *disk);
    for (const auto& candidate : world.disks) {
        if (!names.count(candidate.bsdName)) {
            continue;
        }
        for (const auto& volume : candidate.volumes) {
            if (volume.mounted && volume.mountPath) {
                volumes.push_back(&volume);
            }
        }
    }
    return volumes;
}

bool detachDevice(SimulatedWorld& world, std::string_view deviceOrMountPath) {
    if (const SimulatedDisk* disk = resolveDisk(world, deviceOrMountPath)) {
        removeDisks(world, disksGoingWith(world, *disk), false);
        return true;
    }
    for (auto it = world.networkVolumes.begin(); it != world.networkVolumes.end(); ++it) {
        if (it->mountPath == deviceOrMountPath || it->name == deviceOrMountPath) {
            removeNetworkMountDirectory(*it);
            world.networkVolumes.erase(it);
            return true;
        }
    }
    return false;
}

namespace {

// "disk4s2" under the new whole-disk name: "disk7s2".
std::string renamed(const std::string& name, const std::string& from, const std::string& to) {
    return name.rfind(from, 0) == 0 ? to + name.substr(from.size()) : name;
}

} // namespace

ReplugResult replugDisk(SimulatedWorld& world, std::string_view device, bool renumber) {
    const std::string name = stripDevicePrefix(device);
    const std::vector<SimulatedParkedDrive> drives = parkedDrives(world);
    // Oldest first: a drive parked later may have been lent the same name.
    const auto drive = std::find_if(drives.begin(), drives.end(), [&](const auto& candidate) {
        return world.parkedDisks[candidate.first].bsdName == name;
    });
    if (drive == drives.end()) {
        for (const auto& candidate : drives) {
            const auto disks = disksOf(world, candidate);
            // Back alone, a container would sit on whatever disk has its store's name.
            if (std::any_of(disks.begin() + 1, disks.end(),
                            [&name](const SimulatedDisk& d) { return d.bsdName == name; })) {
                return {false,
                        {},
                        name + " is a container on the ejected " + disks.front().bsdName +
                            "; replug " + disks.front().bsdName};
            }
        }
        return {false, {}, "nothing ejected as " + name};
    }
    // The physical disk and the containers that lived on its partitions.
    const auto parked = disksOf(world, *drive);
    const std::vector<SimulatedDisk> coming(parked.begin(), parked.end());
    std::map<std::string, std::string> numbers;
    // New numbers come after every number in use or parked, as a freshly plugged
    // drive would get.
    int nextNumber = 2;
    for (const auto* list : {&world.disks, &world.parkedDisks}) {
        for (const auto& disk : *list) {
            try {
                nextNumber = std::max(nextNumber, std::stoi(disk.bsdName.substr(4)) + 1);
            } catch (const std::exception&) {
            }
        }
    }
    for (const auto& disk : coming) {
        std::string target = disk.bsdName;
        if (renumber) {
            target = "disk" + std::to_string(nextNumber++);
        } else if (world.findDisk(target) || world.findVolume(target)) {
            return {false, {}, target + " is taken; replug with --renumber"};
        }
        numbers[disk.bsdName] = target;
    }
    takeParkedDrives(world, {*drive});
    for (auto disk : coming) {
        const std::string from = disk.bsdName;
        disk.bsdName = numbers[from];
        for (auto& volume : disk.volumes) {
            volume.bsdName = renamed(volume.bsdName, from, disk.bsdName);
        }
        if (disk.apfsPhysicalStore) {
            // Containers live on the physical disk, the first one coming back.
            disk.apfsPhysicalStore =
                renamed(*disk.apfsPhysicalStore, name + "s", numbers[name] + "s");
        }
        world.disks.push_back(std::move(disk));
    }
    return {true, numbers[name], {}};
}

} // namespace berthkeep
