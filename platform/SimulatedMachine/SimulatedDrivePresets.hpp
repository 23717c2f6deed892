#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/SimulatedMachine/SimulatedWorld.hpp"

namespace berthkeep {

// Ready-made drives to attach to a world. Each returns the identifier of what it
// attached: the whole disk's BSD name, or the mount path of a network volume.
enum class SimulatedDrivePreset {
    usbStick,      // one FAT32 volume on a removable USB stick
    apfsDisk,      // an external USB SSD: EFI + APFS store, a container with two volumes
    diskImage,     // an attached read-only image with one HFS+ volume
    networkVolume, // a mounted file server share
    internalDisk,  // the built-in disk: root volume and a hidden data volume
};

std::string toString(SimulatedDrivePreset preset);
std::optional<SimulatedDrivePreset> simulatedDrivePresetFromString(const std::string& text);
std::vector<SimulatedDrivePreset> allSimulatedDrivePresets();

// `name` replaces the preset's volume name (the first volume for the APFS disk);
// `imagePath` applies to disk images.
std::string attachPreset(SimulatedWorld& world, SimulatedDrivePreset preset,
                         const std::optional<std::string>& name = std::nullopt,
                         const std::optional<std::string>& imagePath = std::nullopt);

// The world `berthkeep-sim init` makes: the internal disk and one USB stick.
SimulatedWorld makeSampleWorld(const std::string& mountRoot = "/Volumes",
                               bool createMountDirectories = true);

} // namespace berthkeep
