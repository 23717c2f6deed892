// Control tool of the simulated machine: makes a world, attaches and detaches
// drives, and scripts how the stand-in disk tools misbehave.
#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"
#include "platform/SimulatedMachine/SimulatedMachineActions.hpp"
#include "platform/SimulatedMachine/SimulatedParkedDrive.hpp"
#include "platform/SimulatedMachine/SimulatedPowerCommands.hpp"
#include "platform/SimulatedMachine/SimulatedStateFile.hpp"
#include "platform/SimulatedMachine/SimulatedVolumeRename.hpp"

#include <algorithm>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

using namespace berthkeep;

namespace {

constexpr const char* usageText =
    "Usage: berthkeep-sim <command> [options]\n"
    "  path                              print the state file path (BERTHKEEP_SIM_STATE)\n"
    "  init [--mount-root DIR] [--empty] [--no-mount-directories]\n"
    "                                    make the sample world (internal disk + USB stick)\n"
    "  attach PRESET [--name NAME] [--image PATH]\n"
    "                                    presets: usb-stick, apfs-disk, disk-image,\n"
    "                                    network-volume, internal-disk; prints the new disk\n"
    "  detach DEVICE|MOUNTPATH           pull a disk out (or drop a network volume)\n"
    "  replug DEVICE [--renumber]        plug an ejected disk in again, unmounted (the one\n"
    "                                    ejected first, when two share the name);\n"
    "                                    --renumber gives it the next free numbers\n"
    "  list                              one line per disk and volume, then the ejected\n"
    "                                    disks with their place in line for replug\n"
    "  state                             print the state file\n"
    "  script VERB [--tool diskutil|hdiutil] [--device DEV] [--exit N] [--stderr TEXT]\n"
    "         [--stdout TEXT] [--delay MS] [--hang] [--ignore-term] [--times N]\n"
    "         [--ready-file PATH]\n"
    "                                    make the next matching tool call misbehave;\n"
    "                                    a hang writes PATH once it has begun\n"
    "  clear-scripts                     drop every scripted behaviour\n"
    "  rename DEVICE NAME                give a volume a new name (and mount path)\n"
    "  power can-sleep|will-sleep|has-powered-on [--wait SECONDS]\n"
    "                                    send a power message to the registered programs;\n"
    "                                    with --wait, print their answer as one JSON line\n"
    "  sleep [--pause MS]                will-sleep, answers (or the give-up), pause,\n"
    "                                    has-powered-on: the disks ejected come back\n";

struct UsageError {
    std::string message;
};

// Options after the positional arguments: "--flag" or "--key value".
struct Options {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    std::map<std::string, bool> flags;
};

Options parseOptions(const std::vector<std::string>& arguments,
                     const std::vector<std::string>& valueOptions,
                     const std::vector<std::string>& flagOptions) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.rfind("--", 0) != 0) {
            options.positional.push_back(argument);
            continue;
        }
        const std::string key = argument.substr(2);
        if (std::find(flagOptions.begin(), flagOptions.end(), key) != flagOptions.end()) {
            options.flags[key] = true;
        } else if (std::find(valueOptions.begin(), valueOptions.end(), key) != valueOptions.end()) {
            if (i + 1 >= arguments.size()) {
                throw UsageError{"missing value for " + argument};
            }
            options.values[key] = arguments[++i];
        } else {
            throw UsageError{"unknown option " + argument};
        }
    }
    return options;
}

std::optional<std::string> valueOf(const Options& options, const std::string& key) {
    auto it = options.values.find(key);
    return it == options.values.end() ? std::nullopt : std::optional<std::string>(it->second);
}

int integerOption(const Options& options, const std::string& key, int fallback) {
    const auto value = valueOf(options, key);
    if (!value) {
        return fallback;
    }
    try {
        std::size_t used = 0;
        const int number = std::stoi(*value, &used);
        if (used != value->size()) {
            throw std::invalid_argument(*value);
        }
        return number;
    } catch (const std::exception&) {
        throw UsageError{"--" + key + " expects an integer, got \"" + *value + "\""};
    }
}

std::string flag(bool value, const char* word) {
    return value ? std::string(" ") + word : std::string();
}

std::string describeDisk(const SimulatedDisk& disk) {
    return disk.isAPFSContainer() ? "APFS container on " + *disk.apfsPhysicalStore
                                  : disk.mediaName + " (" + disk.busProtocol + ")";
}

std::string ordinal(int number) {
    const int ones = number % 10;
    const bool teen = number % 100 >= 11 && number % 100 <= 13;
    const char* suffix = teen || ones == 0 || ones > 3 ? "th"
                         : ones == 1                   ? "st"
                         : ones == 2                   ? "nd"
                                                       : "rd";
    return std::to_string(number) + suffix;
}

// Two parked drives can carry one BSD name, so each line says what the disk would
// mount and where it stands in line for a replug of its name.
void printParkedDrives(const SimulatedWorld& world) {
    std::map<std::string, int> placesTaken;
    for (const auto& drive : parkedDrives(world)) {
        const auto disks = disksOf(world, drive);
        const std::string& whole = disks.front().bsdName;
        const int place = ++placesTaken[whole];
        for (const SimulatedDisk& disk : disks) {
            std::cout << disk.bsdName << "  ejected, still plugged in: " << describeDisk(disk);
            for (const auto& volume : disk.volumes) {
                if (volume.mountable && volume.volumeName) {
                    std::cout << " \"" << *volume.volumeName << "\"";
                }
            }
            std::cout << (&disk == &disks.front()
                              ? "  (" + ordinal(place) + " in line for replug " + whole + ")"
                              : "  (comes back with the " + whole + " above)")
                      << "\n";
        }
    }
}

void printList(const SimulatedWorld& world) {
    std::cout << "mount root: " << world.mountRoot << "\n";
    for (const auto& disk : world.disks) {
        std::cout << disk.bsdName << "  " << describeDisk(disk) << flag(disk.internal, "internal")
                  << flag(disk.removable, "removable") << flag(disk.ejectable, "ejectable")
                  << (disk.imagePath ? " image=" + *disk.imagePath : std::string()) << "\n";
        for (const auto& volume : disk.volumes) {
            std::cout << "  " << volume.bsdName << "  " << volume.content;
            if (volume.volumeName) {
                std::cout << "  \"" << *volume.volumeName << "\"";
            }
            std::cout << (volume.mounted && volume.mountPath ? "  mounted at " + *volume.mountPath
                                                             : "")
                      << flag(volume.hidden, "hidden") << "\n";
        }
    }
    printParkedDrives(world);
    for (const auto& share : world.networkVolumes) {
        std::cout << "network  \"" << share.name << "\"  " << share.url << "  mounted at "
                  << share.mountPath << "\n";
    }
    for (const auto& behaviour : world.behaviours) {
        std::cout << "script  " << behaviour.tool << " " << behaviour.verb
                  << (behaviour.device ? " " + *behaviour.device : std::string())
                  << (behaviour.exitStatus ? " exit=" + std::to_string(*behaviour.exitStatus)
                                           : std::string())
                  << (behaviour.delayMilliseconds
                          ? " delay=" + std::to_string(behaviour.delayMilliseconds) + "ms"
                          : std::string())
                  << flag(behaviour.hang, "hang")
                  << (behaviour.remainingUses ? " times=" + std::to_string(*behaviour.remainingUses)
                                              : std::string())
                  << "\n";
    }
}

int run(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        throw UsageError{"no command given"};
    }
    const std::string command = arguments.front();
    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    const SimulatedStateFile stateFile = SimulatedStateFile::fromEnvironment();

    if (command == "path") {
        std::cout << stateFile.path() << "\n";
        return 0;
    }
    if (command == "init") {
        const Options options =
            parseOptions(rest, {"mount-root"}, {"empty", "no-mount-directories"});
        if (!options.positional.empty()) {
            throw UsageError{"init takes no arguments"};
        }
        const std::string root = valueOf(options, "mount-root").value_or("/Volumes");
        if (root.empty() || root.front() != '/') {
            throw UsageError{"--mount-root expects an absolute path"};
        }
        stateFile.update([&](SimulatedWorld& world) {
            // Whatever the old world had mounted goes away first, folders included.
            for (auto& disk : world.disks) {
                for (auto& volume : disk.volumes) {
                    markVolumeUnmounted(volume);
                }
            }
            for (auto& share : world.networkVolumes) {
                removeNetworkMountDirectory(share);
            }
            const bool folders = options.flags.count("no-mount-directories") == 0;
            if (options.flags.count("empty")) {
                world = SimulatedWorld{};
                world.mountRoot = root;
                world.createMountDirectories = folders;
            } else {
                world = makeSampleWorld(root, folders);
            }
            return true;
        });
        return 0;
    }
    if (command == "attach") {
        const Options options = parseOptions(rest, {"name", "image"}, {});
        if (options.positional.size() != 1) {
            throw UsageError{"attach takes one preset"};
        }
        const auto preset = simulatedDrivePresetFromString(options.positional.front());
        if (!preset) {
            throw UsageError{"unknown preset \"" + options.positional.front() + "\""};
        }
        std::string attached;
        stateFile.update([&](SimulatedWorld& world) {
            attached =
                attachPreset(world, *preset, valueOf(options, "name"), valueOf(options, "image"));
            return true;
        });
        std::cout << attached << "\n";
        return 0;
    }
    if (command == "detach") {
        if (rest.size() != 1) {
            throw UsageError{"detach takes one device or mount path"};
        }
        const bool found = stateFile.update(
            [&](SimulatedWorld& world) { return detachDevice(world, rest.front()); });
        if (!found) {
            std::cerr << "berthkeep-sim: nothing attached as " << rest.front() << "\n";
            return 1;
        }
        return 0;
    }
    if (command == "replug") {
        const Options options = parseOptions(rest, {}, {"renumber"});
        if (options.positional.size() != 1) {
            throw UsageError{"replug takes one ejected device"};
        }
        ReplugResult result;
        stateFile.update([&](SimulatedWorld& world) {
            result =
                replugDisk(world, options.positional.front(), options.flags.count("renumber") > 0);
            return result.replugged;
        });
        if (!result.replugged) {
            std::cerr << "berthkeep-sim: " << result.message << "\n";
            return 1;
        }
        std::cout << result.diskName << "\n";
        return 0;
    }
    if (command == "list") {
        printList(stateFile.read());
        return 0;
    }
    if (command == "state") {
        std::cout << serializeSimulatedWorld(stateFile.read());
        return 0;
    }
    if (command == "script") {
        const Options options = parseOptions(
            rest, {"tool", "device", "exit", "stderr", "stdout", "delay", "times", "ready-file"},
            {"hang", "ignore-term"});
        if (options.positional.size() != 1) {
            throw UsageError{"script takes one verb"};
        }
        ScriptedBehaviour behaviour;
        behaviour.verb = options.positional.front();
        behaviour.tool = valueOf(options, "tool").value_or("diskutil");
        if (behaviour.tool != "diskutil" && behaviour.tool != "hdiutil") {
            throw UsageError{"--tool must be diskutil or hdiutil"};
        }
        behaviour.device = valueOf(options, "device");
        if (valueOf(options, "exit")) {
            behaviour.exitStatus = integerOption(options, "exit", 1);
        }
        behaviour.standardError = valueOf(options, "stderr").value_or("");
        behaviour.standardOutput = valueOf(options, "stdout").value_or("");
        behaviour.delayMilliseconds = integerOption(options, "delay", 0);
        if (behaviour.delayMilliseconds < 0) {
            throw UsageError{"--delay must not be negative"};
        }
        behaviour.hang = options.flags.count("hang") > 0;
        behaviour.ignoreTerminate = options.flags.count("ignore-term") > 0;
        behaviour.readyFile = valueOf(options, "ready-file");
        if (valueOf(options, "times")) {
            behaviour.remainingUses = integerOption(options, "times", 1);
            if (*behaviour.remainingUses < 1) {
                throw UsageError{"--times must be at least 1"};
            }
        }
        if (!behaviour.exitStatus && !behaviour.hang && behaviour.delayMilliseconds == 0) {
            throw UsageError{"script needs --exit, --delay or --hang"};
        }
        stateFile.update([&](SimulatedWorld& world) {
            world.behaviours.push_back(behaviour);
            return true;
        });
        return 0;
    }
    if (command == "clear-scripts") {
        stateFile.update([](SimulatedWorld& world) {
            const bool had = !world.behaviours.empty();
            world.behaviours.clear();
            return had;
        });
        return 0;
    }
    if (command == "rename") {
        if (rest.size() != 2) {
            throw UsageError{"rename takes a device and a name"};
        }
        SimulatedCommandResult result;
        stateFile.update([&](SimulatedWorld& world) {
            result = renameVolume(world, rest[0], rest[1]);
            return result.exitStatus == 0;
        });
        std::cout << result.standardOutput;
        std::cerr << result.standardError;
        return result.exitStatus;
    }
    if (command == "power" || command == "sleep") {
        try {
            return runSimulatedPowerCommand(command, rest, SimulatedPowerFile(stateFile),
                                            std::cout);
        } catch (const SimulatedCommandUsageError& error) {
            throw UsageError{error.what()};
        }
    }
    if (command == "help" || command == "--help") {
        std::cout << usageText;
        return 0;
    }
    throw UsageError{"unknown command \"" + command + "\""};
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& error) {
        std::cerr << "berthkeep-sim: " << error.message << "\n" << usageText;
        return 64;
    } catch (const SimulatedStateError& error) {
        std::cerr << "berthkeep-sim: " << error.what() << "\n";
        return 1;
    }
}
