#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"

#include "platform/SimulatedMachine/SimulatedMachineActions.hpp"

#include <QUuid>

namespace berthkeep {

namespace {

constexpr const char* apfsVolumeContent = "41504653-0000-11AA-AA11-00306543ECAC";
constexpr std::uint64_t gigabyte = 1000ULL * 1000 * 1000;

std::string newUUID() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString();
}

std::string diskName(int number) {
    return "disk" + std::to_string(number);
}

SimulatedVolume efiPartition(const std::string& bsdName) {
    SimulatedVolume efi;
    efi.bsdName = bsdName;
    efi.content = "EFI";
    efi.volumeName = "EFI";
    efi.volumeUUID = newUUID();
    efi.filesystemType = "msdos";
    efi.filesystemName = "MS-DOS (FAT32)";
    efi.mountable = false; // never mounted automatically
    efi.sizeBytes = 209715200;
    return efi;
}

SimulatedVolume apfsStorePartition(const std::string& bsdName, std::uint64_t size) {
    SimulatedVolume store;
    store.bsdName = bsdName;
    store.content = "Apple_APFS";
    store.mountable = false;
    store.sizeBytes = size;
    return store;
}

SimulatedVolume apfsVolume(const std::string& bsdName, const std::string& name,
                           std::uint64_t size) {
    SimulatedVolume volume;
    volume.bsdName = bsdName;
    volume.content = apfsVolumeContent;
    volume.volumeName = name;
    volume.volumeUUID = newUUID();
    volume.filesystemType = "apfs";
    volume.filesystemName = "APFS";
    volume.sizeBytes = size;
    return volume;
}

// A GUID disk with an EFI partition and an APFS store partition, and the APFS
// container synthesized on that store (its volumes left to the caller). Numbers
// are the first free ones from `minimumNumber` on.
struct APFSDiskPair {
    SimulatedDisk physical;
    SimulatedDisk container;
};

APFSDiskPair makeAPFSDiskPair(const SimulatedWorld& world, int minimumNumber,
                              const std::string& mediaName, const std::string& busProtocol,
                              std::uint64_t size) {
    const int physicalNumber = world.nextFreeDiskNumber(minimumNumber);
    APFSDiskPair pair;
    SimulatedDisk& physical = pair.physical;
    physical.bsdName = diskName(physicalNumber);
    physical.mediaName = mediaName;
    physical.busProtocol = busProtocol;
    physical.content = "GUID_partition_scheme";
    physical.sizeBytes = size;
    physical.volumes.push_back(efiPartition(physical.bsdName + "s1"));
    physical.volumes.push_back(apfsStorePartition(physical.bsdName + "s2", size - 209715200));

    SimulatedDisk& container = pair.container;
    container.bsdName = diskName(world.nextFreeDiskNumber(physicalNumber + 1));
    container.mediaName = "AppleAPFSMedia";
    container.busProtocol = busProtocol;
    container.content = apfsVolumeContent;
    container.apfsPhysicalStore = physical.bsdName + "s2";
    container.sizeBytes = size - 209715200;
    return pair;
}

void mountAll(SimulatedWorld& world, const std::string& bsdName) {
    for (auto& disk : world.disks) {
        if (disk.bsdName != bsdName) {
            continue;
        }
        for (auto& volume : disk.volumes) {
            if (volume.filesystemType && volume.mountable && !volume.mountPath) {
                markVolumeMounted(world, volume);
            }
        }
    }
}

std::string attachUSBStick(SimulatedWorld& world, const std::optional<std::string>& name) {
    const std::string whole = diskName(world.nextFreeDiskNumber());
    SimulatedDisk disk;
    disk.bsdName = whole;
    disk.mediaName = "SanDisk Ultra";
    disk.busProtocol = "USB";
    disk.removable = true;
    disk.ejectable = true;
    disk.content = "FDisk_partition_scheme";
    disk.sizeBytes = 32 * gigabyte;
    SimulatedVolume volume;
    volume.bsdName = whole + "s1";
    volume.content = "DOS_FAT_32";
    volume.volumeName = name.value_or("USB STICK");
    volume.volumeUUID = newUUID();
    volume.filesystemType = "msdos";
    volume.filesystemName = "MS-DOS (FAT32)";
    volume.sizeBytes = disk.sizeBytes - 1048576;
    disk.volumes.push_back(volume);
    world.disks.push_back(disk);
    mountAll(world, whole);
    return whole;
}

std::string attachAPFSDisk(SimulatedWorld& world, const std::optional<std::string>& name) {
    auto [physical, container] =
        makeAPFSDiskPair(world, 2, "Samsung Portable SSD T7", "USB", 1000 * gigabyte);
    physical.removable = false; // fixed media, but the device can be ejected
    physical.ejectable = true;
    container.volumes.push_back(
        apfsVolume(container.bsdName + "s1", name.value_or("Backup"), 600 * gigabyte));
    container.volumes.push_back(apfsVolume(container.bsdName + "s2", "Archive", 200 * gigabyte));
    const std::string physicalName = physical.bsdName;
    const std::string containerName = container.bsdName;
    world.disks.push_back(std::move(physical));
    world.disks.push_back(std::move(container));
    mountAll(world, containerName);
    return physicalName;
}

std::string attachDiskImage(SimulatedWorld& world, const std::optional<std::string>& name,
                            const std::optional<std::string>& imagePath) {
    const std::string whole = diskName(world.nextFreeDiskNumber());
    const std::string volumeName = name.value_or("Installer");
    SimulatedDisk disk;
    disk.bsdName = whole;
    disk.mediaName = "Apple Disk Image";
    disk.busProtocol = "Disk Image";
    disk.removable = true;
    disk.ejectable = true;
    disk.writable = false;
    disk.content = "GUID_partition_scheme";
    disk.imagePath = imagePath.value_or("/Users/Shared/Downloads/" + volumeName + ".dmg");
    disk.sizeBytes = 2 * gigabyte;
    SimulatedVolume volume;
    volume.bsdName = whole + "s1";
    volume.content = "Apple_HFS";
    volume.volumeName = volumeName;
    volume.volumeUUID = newUUID();
    volume.filesystemType = "hfs";
    volume.filesystemName = "Mac OS Extended";
    volume.writable = false;
    volume.sizeBytes = disk.sizeBytes - 40960;
    disk.volumes.push_back(volume);
    world.disks.push_back(disk);
    mountAll(world, whole);
    return whole;
}

std::string attachNetworkVolume(SimulatedWorld& world, const std::optional<std::string>& name) {
    SimulatedNetworkVolume share;
    share.name = name.value_or("Shared");
    share.url = "smb://nas.example/" + share.name;
    share.mountPath = world.mountPathFor(share.name);
    share.volumeUUID = newUUID();
    createNetworkMountDirectory(world, share);
    world.networkVolumes.push_back(share);
    return share.mountPath;
}

std::string attachInternalDisk(SimulatedWorld& world, const std::optional<std::string>& name) {
    auto [physical, container] =
        makeAPFSDiskPair(world, 0, "APPLE SSD AP0512Q", "Apple Fabric", 500 * gigabyte);
    physical.internal = true;
    physical.deviceTreePath = "IODeviceTree:/arm-io@10F00000/ans@9000";
    container.internal = true;
    SimulatedVolume root =
        apfsVolume(container.bsdName + "s1", name.value_or("Macintosh HD"), 20 * gigabyte);
    root.mounted = true;
    root.mountPath = "/";
    root.writable = false;
    SimulatedVolume data = apfsVolume(container.bsdName + "s2", "Data", 300 * gigabyte);
    data.mounted = true;
    data.mountPath = "/System/Volumes/Data";
    data.hidden = true;
    container.volumes.push_back(root);
    container.volumes.push_back(data);
    const std::string physicalName = physical.bsdName;
    world.disks.push_back(std::move(physical));
    world.disks.push_back(std::move(container));
    return physicalName;
}

} // namespace

std::string toString(SimulatedDrivePreset preset) {
    switch (preset) {
    case SimulatedDrivePreset::usbStick:
        return "usb-stick";
    case SimulatedDrivePreset::apfsDisk:
        return "apfs-disk";
    case SimulatedDrivePreset::diskImage:
        return "disk-image";
    case SimulatedDrivePreset::networkVolume:
        return "network-volume";
    case SimulatedDrivePreset::internalDisk:
        return "internal-disk";
    }
    return {};
}

std::vector<SimulatedDrivePreset> allSimulatedDrivePresets() {
    return {SimulatedDrivePreset::usbStick, SimulatedDrivePreset::apfsDisk,
            SimulatedDrivePreset::diskImage, SimulatedDrivePreset::networkVolume,
            SimulatedDrivePreset::internalDisk};
}

std::optional<SimulatedDrivePreset> simulatedDrivePresetFromString(const std::string& text) {
    for (auto preset : allSimulatedDrivePresets()) {
        if (toString(preset) == text) {
            return preset;
        }
    }
    return std::nullopt;
}

std::string attachPreset(SimulatedWorld& world, SimulatedDrivePreset preset,
                         const std::optional<std::string>& name,
                         const std::optional<std::string>& imagePath) {
    switch (preset) {
    case SimulatedDrivePreset::usbStick:
        return attachUSBStick(world, name);
    case SimulatedDrivePreset::apfsDisk:
        return attachAPFSDisk(world, name);
    case SimulatedDrivePreset::diskImage:
        return attachDiskImage(world, name, imagePath);
    case SimulatedDrivePreset::networkVolume:
        return attachNetworkVolume(world, name);
    case SimulatedDrivePreset::internalDisk:
        return attachInternalDisk(world, name);
    }
    return {};
}

SimulatedWorld makeSampleWorld(const std::string& mountRoot, bool createMountDirectories) {
    SimulatedWorld world;
    world.mountRoot = mountRoot;
    world.createMountDirectories = createMountDirectories;
    attachPreset(world, SimulatedDrivePreset::internalDisk);
    attachPreset(world, SimulatedDrivePreset::usbStick);
    return world;
}

} // namespace berthkeep
