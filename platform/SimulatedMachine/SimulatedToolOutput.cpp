#include "platform/SimulatedMachine/SimulatedToolOutput.hpp"

#include <plist/plist.h>

#include <algorithm>
#include <memory>

namespace berthkeep {

namespace {

constexpr const char* apfsContainerContent = "EF57347C-0000-11AA-AA11-00306543ECAC";
constexpr std::uint64_t blockSize = 512;

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

std::string toXML(plist_t root) {
    PlistPtr owner(root);
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root, &xml, &length);
    std::string text = xml ? std::string(xml, length) : std::string();
    if (xml) {
        plist_to_xml_free(xml);
    }
    return text;
}

void setString(plist_t dict, const char* key, const std::string& value) {
    plist_dict_set_item(dict, key, plist_new_string(value.c_str()));
}
void setBool(plist_t dict, const char* key, bool value) {
    plist_dict_set_item(dict, key, plist_new_bool(value ? 1 : 0));
}
void setUInt(plist_t dict, const char* key, std::uint64_t value) {
    plist_dict_set_item(dict, key, plist_new_uint(value));
}

int diskNumber(const std::string& bsdName) {
    try {
        return std::stoi(bsdName.substr(4));
    } catch (const std::exception&) {
        return 0;
    }
}

std::vector<const SimulatedDisk*> externalDisksInOrder(const SimulatedWorld& world) {
    std::vector<const SimulatedDisk*> result;
    for (const auto& disk : world.disks) {
        if (!world.physicalDiskOf(disk)->internal) {
            result.push_back(&disk);
        }
    }
    std::stable_sort(result.begin(), result.end(),
                     [](const SimulatedDisk* a, const SimulatedDisk* b) {
                         return diskNumber(a->bsdName) < diskNumber(b->bsdName);
                     });
    return result;
}

std::string userVisibleFilesystem(const SimulatedVolume& volume) {
    if (volume.filesystemName) {
        return *volume.filesystemName;
    }
    return volume.filesystemType.value_or("");
}

plist_t apfsStores(const std::string& store) {
    plist_t stores = plist_new_array();
    plist_t entry = plist_new_dict();
    setString(entry, "APFSPhysicalStore", store);
    plist_array_append_item(stores, entry);
    return stores;
}

// Media facts every entry of a disk shares; for APFS containers they come from the
// disk that holds the physical store.
void addMediaFacts(plist_t dict, const SimulatedWorld& world, const SimulatedDisk& disk) {
    const SimulatedDisk& physical = *world.physicalDiskOf(disk);
    setString(dict, "BusProtocol", physical.busProtocol);
    setBool(dict, "Internal", physical.internal);
    setBool(dict, "OSInternalMedia", physical.internal);
    setBool(dict, "Removable", physical.removable);
    setBool(dict, "RemovableMedia", physical.removable);
    setBool(dict, "RemovableMediaOrExternalDevice", !physical.internal);
    setBool(dict, "Ejectable", physical.ejectable);
    setBool(dict, "WritableMedia", physical.writable);
    setBool(dict, "SystemImage", false);
    setString(dict, "MediaType", "Generic");
    setString(dict, "MediaName", disk.isAPFSContainer() ? std::string() : disk.mediaName);
    setString(dict, "IORegistryEntryName",
              disk.isAPFSContainer() ? std::string("AppleAPFSMedia") : disk.mediaName + " Media");
    setUInt(dict, "DeviceBlockSize", blockSize);
    setBool(dict, "SolidState", physical.busProtocol != "USB" || physical.internal);
    if (physical.deviceTreePath) {
        setString(dict, "DeviceTreePath", *physical.deviceTreePath);
    }
}

std::string virtualOrPhysical(const SimulatedWorld& world, const SimulatedDisk& disk, bool whole) {
    if (world.physicalDiskOf(disk)->isDiskImage()) {
        return "Virtual";
    }
    if (disk.isAPFSContainer()) {
        return whole ? "Virtual" : "Unknown";
    }
    return "Physical";
}

plist_t wholeDiskInfo(const SimulatedWorld& world, const SimulatedDisk& disk) {
    plist_t dict = plist_new_dict();
    setString(dict, "DeviceIdentifier", disk.bsdName);
    setString(dict, "DeviceNode", "/dev/" + disk.bsdName);
    setBool(dict, "WholeDisk", true);
    setString(dict, "ParentWholeDisk", disk.bsdName);
    setString(dict, "Content",
              disk.isAPFSContainer() ? std::string(apfsContainerContent) : disk.content);
    addMediaFacts(dict, world, disk);
    setBool(dict, "Writable", disk.writable);
    setString(dict, "VirtualOrPhysical", virtualOrPhysical(world, disk, true));
    setUInt(dict, "Size", disk.sizeBytes);
    setUInt(dict, "TotalSize", disk.sizeBytes);
    setString(dict, "MountPoint", "");
    setString(dict, "VolumeName", "");
    if (disk.isAPFSContainer()) {
        setString(dict, "APFSContainerReference", disk.bsdName);
        plist_dict_set_item(dict, "APFSPhysicalStores", apfsStores(*disk.apfsPhysicalStore));
    }
    return dict;
}

plist_t volumeInfo(const SimulatedWorld& world, const SimulatedDisk& disk,
                   const SimulatedVolume& volume) {
    plist_t dict = plist_new_dict();
    setString(dict, "DeviceIdentifier", volume.bsdName);
    setString(dict, "DeviceNode", "/dev/" + volume.bsdName);
    setBool(dict, "WholeDisk", false);
    setString(dict, "ParentWholeDisk", disk.bsdName);
    setString(dict, "Content", volume.content);
    addMediaFacts(dict, world, disk);
    setBool(dict, "Writable", volume.writable && disk.writable);
    setBool(dict, "WritableVolume", volume.writable);
    setString(dict, "VirtualOrPhysical", virtualOrPhysical(world, disk, false));
    setUInt(dict, "Size", volume.sizeBytes);
    setUInt(dict, "TotalSize", volume.sizeBytes);
    setString(dict, "MountPoint",
              volume.mounted && volume.mountPath ? *volume.mountPath : std::string());
    setString(dict, "VolumeName", volume.volumeName.value_or(""));
    if (volume.volumeUUID) {
        setString(dict, "VolumeUUID", *volume.volumeUUID);
        setString(dict, "DiskUUID", *volume.volumeUUID);
    }
    if (volume.filesystemType) {
        setString(dict, "FilesystemType", *volume.filesystemType);
        setString(dict, "FilesystemUserVisibleName", userVisibleFilesystem(volume));
    }
    if (volume.filesystemName) {
        setString(dict, "FilesystemName", *volume.filesystemName);
    }
    if (disk.isAPFSContainer()) {
        setString(dict, "APFSContainerReference", disk.bsdName);
        plist_dict_set_item(dict, "APFSPhysicalStores", apfsStores(*disk.apfsPhysicalStore));
    }
    if (volume.content == "Apple_APFS") {
        // The partition that is a container's physical store names its container.
        for (const auto& candidate : world.disks) {
            if (candidate.apfsPhysicalStore == volume.bsdName) {
                setString(dict, "APFSContainerReference", candidate.bsdName);
            }
        }
    }
    return dict;
}

} // namespace

std::string renderDiskUtilityExternalList(const SimulatedWorld& world) {
    plist_t root = plist_new_dict();
    plist_t allDisks = plist_new_array();
    plist_t wholeDisks = plist_new_array();
    plist_t allDisksAndPartitions = plist_new_array();
    plist_t volumesFromDisks = plist_new_array();
    for (const SimulatedDisk* disk : externalDisksInOrder(world)) {
        plist_array_append_item(allDisks, plist_new_string(disk->bsdName.c_str()));
        plist_array_append_item(wholeDisks, plist_new_string(disk->bsdName.c_str()));
        plist_t entry = plist_new_dict();
        setString(entry, "DeviceIdentifier", disk->bsdName);
        setString(entry, "Content",
                  disk->isAPFSContainer() ? std::string(apfsContainerContent) : disk->content);
        setUInt(entry, "Size", disk->sizeBytes);
        plist_t children = plist_new_array();
        for (const auto& volume : disk->volumes) {
            plist_array_append_item(allDisks, plist_new_string(volume.bsdName.c_str()));
            plist_t child = plist_new_dict();
            setString(child, "DeviceIdentifier", volume.bsdName);
            setString(child, "Content", volume.content);
            setUInt(child, "Size", volume.sizeBytes);
            if (volume.volumeName) {
                setString(child, "VolumeName", *volume.volumeName);
            }
            if (volume.volumeUUID) {
                setString(child, "VolumeUUID", *volume.volumeUUID);
            }
            if (volume.mounted && volume.mountPath) {
                setString(child, "MountPoint", *volume.mountPath);
                if (volume.volumeName) {
                    plist_array_append_item(volumesFromDisks,
                                            plist_new_string(volume.volumeName->c_str()));
                }
            }
            plist_array_append_item(children, child);
        }
        if (disk->isAPFSContainer()) {
            plist_dict_set_item(entry, "APFSPhysicalStores", apfsStores(*disk->apfsPhysicalStore));
            plist_dict_set_item(entry, "APFSVolumes", children);
        } else {
            plist_dict_set_item(entry, "Partitions", children);
        }
        plist_array_append_item(allDisksAndPartitions, entry);
    }
    plist_dict_set_item(root, "AllDisks", allDisks);
    plist_dict_set_item(root, "AllDisksAndPartitions", allDisksAndPartitions);
    plist_dict_set_item(root, "VolumesFromDisks", volumesFromDisks);
    plist_dict_set_item(root, "WholeDisks", wholeDisks);
    return toXML(root);
}

std::optional<std::string> renderDiskUtilityInfo(const SimulatedWorld& world,
                                                 std::string_view device) {
    if (const auto* disk = world.findDisk(device)) {
        return toXML(wholeDiskInfo(world, *disk));
    }
    if (const auto* volume = world.findVolume(device)) {
        return toXML(volumeInfo(world, *world.diskOfVolume(device), *volume));
    }
    // Like the real tool, a mount point names the volume mounted there.
    for (const auto& disk : world.disks) {
        for (const auto& volume : disk.volumes) {
            if (volume.mounted && volume.mountPath && *volume.mountPath == device) {
                return toXML(volumeInfo(world, disk, volume));
            }
        }
    }
    return std::nullopt;
}

std::string renderDiskImageInfo(const SimulatedWorld& world) {
    plist_t root = plist_new_dict();
    setString(root, "framework", "683");
    setString(root, "revision", "683");
    setString(root, "vendor", "Apple");
    plist_t images = plist_new_array();
    for (const auto& disk : world.disks) {
        if (!disk.isDiskImage()) {
            continue;
        }
        plist_t image = plist_new_dict();
        setString(image, "image-path", *disk.imagePath);
        setString(image, "image-type",
                  disk.writable ? "read/write disk image" : "read-only disk image");
        setBool(image, "removable", true);
        setBool(image, "writeable", disk.writable);
        setBool(image, "autodiskmount", true);
        plist_t entities = plist_new_array();
        plist_t whole = plist_new_dict();
        setString(whole, "content-hint", disk.content);
        setString(whole, "unmapped-content-hint", disk.content);
        setString(whole, "dev-entry", "/dev/" + disk.bsdName);
        setBool(whole, "potentially-mountable", false);
        plist_array_append_item(entities, whole);
        for (const auto& volume : disk.volumes) {
            plist_t entity = plist_new_dict();
            setString(entity, "content-hint", volume.content);
            setString(entity, "unmapped-content-hint", volume.content);
            setString(entity, "dev-entry", "/dev/" + volume.bsdName);
            setBool(entity, "potentially-mountable", volume.filesystemType.has_value());
            if (volume.filesystemType) {
                setString(entity, "volume-kind", *volume.filesystemType);
            }
            if (volume.mounted && volume.mountPath) {
                setString(entity, "mount-point", *volume.mountPath);
            }
            plist_array_append_item(entities, entity);
        }
        plist_dict_set_item(image, "system-entities", entities);
        plist_array_append_item(images, image);
    }
    plist_dict_set_item(root, "images", images);
    return toXML(root);
}

} // namespace berthkeep
