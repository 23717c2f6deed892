#include "platform/SimulatedMachine/SimulatedStandIn.hpp"

#include "platform/Files/AtomicFileWriter.hpp"
#include "platform/SimulatedMachine/SimulatedToolOutput.hpp"

#include <chrono>
#include <csignal>
#include <optional>
#include <set>
#include <thread>
#include <unistd.h>

namespace berthkeep {

namespace {

constexpr const char* diskUtilityUsage =
    "Usage:  diskutil list -plist external\n"
    "        diskutil info -plist <device>\n"
    "        diskutil eject|unmount|mount|mountDisk <device>\n";
constexpr const char* diskImageUtilityUsage = "Usage:  hdiutil info -plist\n";

SimulatedCommandResult usage(const char* text) {
    return SimulatedCommandResult{1, std::string(), text};
}

SimulatedCommandResult stateFailure(const SimulatedStateError& error) {
    return SimulatedCommandResult{1, std::string(), std::string(error.what()) + "\n"};
}

// Who the disk behind a device is, whatever name it is lent for now: the volume
// UUIDs of the physical disk and of the APFS containers on it. None when the
// device names no disk.
using DiskIdentity = std::set<std::string>;

std::optional<DiskIdentity> identityOf(const SimulatedWorld& world, const std::string& device) {
    const SimulatedDisk* disk = world.findDisk(device);
    if (!disk) {
        disk = world.diskOfVolume(device);
    }
    if (!disk) {
        return std::nullopt;
    }
    const SimulatedDisk* physical = world.physicalDiskOf(*disk);
    std::vector<const SimulatedDisk*> disks = world.containersOn(*physical);
    disks.push_back(physical);
    DiskIdentity identity;
    for (const auto* each : disks) {
        for (const auto& volume : each->volumes) {
            if (volume.volumeUUID) {
                identity.insert(*volume.volumeUUID);
            }
        }
    }
    return identity;
}

// What a call found as it began: the first behaviour that matches it (one of its
// uses taken), how many times the machine had woken by then, and the disk its
// device named.
struct CallStart {
    std::optional<ScriptedBehaviour> behaviour;
    std::uint64_t wakeCount = 0;
    std::optional<DiskIdentity> disk;
};

CallStart beginCall(const SimulatedStateFile& stateFile, const std::string& tool,
                    const std::string& verb, const std::string& device) {
    CallStart start;
    auto& found = start.behaviour;
    stateFile.update([&](SimulatedWorld& world) {
        start.wakeCount = world.wakeCount;
        start.disk = identityOf(world, device);
        for (auto it = world.behaviours.begin(); it != world.behaviours.end(); ++it) {
            if (it->tool != tool || it->verb != verb) {
                continue;
            }
            if (it->device && stripDevicePrefix(*it->device) != stripDevicePrefix(device)) {
                continue;
            }
            found = *it;
            if (!it->remainingUses) {
                return false;
            }
            if (--*it->remainingUses <= 0) {
                world.behaviours.erase(it);
            }
            return true;
        }
        return false;
    });
    return start;
}

// Applies a behaviour; returns the scripted result when the call ends there.
std::optional<SimulatedCommandResult> actOut(const ScriptedBehaviour& behaviour) {
    if (behaviour.delayMilliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(behaviour.delayMilliseconds));
    }
    if (behaviour.hang) {
        if (behaviour.ignoreTerminate) {
            std::signal(SIGTERM, SIG_IGN);
        }
        if (behaviour.readyFile) {
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            AtomicFileWriter(*behaviour.readyFile)
                .write(std::to_string(std::chrono::nanoseconds(now).count()));
        }
        for (;;) {
            ::pause();
        }
    }
    if (behaviour.exitStatus) {
        return SimulatedCommandResult{*behaviour.exitStatus, behaviour.standardOutput,
                                      behaviour.standardError};
    }
    return std::nullopt;
}

// The refusal when a process holds one of the volumes going away.
std::optional<SimulatedCommandResult> busyRefusal(const SimulatedWorld& world,
                                                  const std::string& verb,
                                                  const std::string& device,
                                                  const MountPathHolders& holders) {
    const auto volumes = volumesUnmountedBy(world, verb, device);
    if (!holders || volumes.empty()) {
        return std::nullopt;
    }
    std::vector<std::string> paths;
    for (const auto* volume : volumes) {
        paths.push_back(*volume->mountPath);
    }
    const std::vector<std::int64_t> counts = holders(paths);
    std::string busy;
    for (std::size_t i = 0; i < volumes.size() && i < counts.size(); ++i) {
        if (counts[i] < 1) {
            continue;
        }
        const auto& volume = *volumes[i];
        const std::string name = volume.volumeName.value_or("");
        busy += "Volume " + (name.empty() ? std::string() : name + " ") + "on " + volume.bsdName +
                " failed to unmount: in use by " + std::to_string(counts[i]) +
                (counts[i] == 1 ? " process" : " processes") + "\n";
    }
    if (busy.empty()) {
        return std::nullopt;
    }
    if (verb == "eject") {
        busy = "Unmount of " + stripDevicePrefix(device) +
               " failed: at least one volume could not be unmounted\n" + busy;
    }
    return SimulatedCommandResult{1, std::string(), busy};
}

} // namespace

SimulatedCommandResult runDiskUtilityStandIn(const std::vector<std::string>& arguments,
                                             const SimulatedStateFile& stateFile,
                                             const MountPathHolders& holders) {
    const auto& a = arguments;
    std::string verb;
    std::string device;
    if (a.size() == 3 && a[0] == "list" && a[1] == "-plist" && a[2] == "external") {
        verb = "list";
    } else if (a.size() == 3 && a[0] == "info" && a[1] == "-plist" && !a[2].empty()) {
        verb = "info";
        device = a[2];
    } else if (a.size() == 2 && !a[1].empty() &&
               (a[0] == "eject" || a[0] == "unmount" || a[0] == "mount" || a[0] == "mountDisk")) {
        verb = a[0];
        device = a[1];
    } else {
        return usage(diskUtilityUsage);
    }

    try {
        const CallStart start = beginCall(stateFile, "diskutil", verb, device);
        if (start.behaviour) {
            if (auto scripted = actOut(*start.behaviour)) {
                return *scripted;
            }
        }
        if (verb == "list") {
            return SimulatedCommandResult{0, renderDiskUtilityExternalList(stateFile.read()),
                                          std::string()};
        }
        if (verb == "info") {
            if (auto plist = renderDiskUtilityInfo(stateFile.read(), device)) {
                return SimulatedCommandResult{0, *plist, std::string()};
            }
            return SimulatedCommandResult{1, std::string(),
                                          "Could not find disk: " + device + "\n"};
        }
        SimulatedCommandResult result;
        stateFile.update([&](SimulatedWorld& world) {
            // The tool holds the disk it began with: once that disk has left its
            // name, free now or lent to a disk plugged in meanwhile, the call finds
            // no disk and touches nothing.
            if (start.disk && identityOf(world, device) != start.disk) {
                result = SimulatedCommandResult{1, std::string(),
                                                "Unable to find disk for " + device + "\n"};
                return false;
            }
            if (auto refusal = busyRefusal(world, verb, device, holders)) {
                result = *refusal;
                return false;
            }
            if (verb == "eject") {
                // A delayed eject can outlive a wake that re-enumerated its disk.
                result = world.wakeCount == start.wakeCount ? ejectDisk(world, device)
                                                            : ejectDiskAcrossWake(world, device);
            } else if (verb == "unmount") {
                result = unmountVolume(world, device);
            } else if (verb == "mount") {
                result = mountVolume(world, device);
            } else {
                result = mountWholeDisk(world, device);
            }
            return result.exitStatus == 0;
        });
        return result;
    } catch (const SimulatedStateError& error) {
        return stateFailure(error);
    }
}

SimulatedCommandResult runDiskImageUtilityStandIn(const std::vector<std::string>& arguments,
                                                  const SimulatedStateFile& stateFile) {
    if (arguments.size() != 2 || arguments[0] != "info" || arguments[1] != "-plist") {
        return usage(diskImageUtilityUsage);
    }
    try {
        if (auto behaviour = beginCall(stateFile, "hdiutil", "info", std::string()).behaviour) {
            if (auto scripted = actOut(*behaviour)) {
                return *scripted;
            }
        }
        return SimulatedCommandResult{0, renderDiskImageInfo(stateFile.read()), std::string()};
    } catch (const SimulatedStateError& error) {
        return stateFailure(error);
    }
}

} // namespace berthkeep
