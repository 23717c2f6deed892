#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace berthkeep {

class PropertyListValue;

// One decoded `diskutil info -plist <device>` result. Strings are kept exactly as
// decoded (untrimmed); readers trim where they need to.
struct DiskUtilityVolumeFacts {
    // One entry of "APFSPhysicalStores".
    struct APFSPhysicalStore {
        std::string apfsPhysicalStore; // "APFSPhysicalStore", required

        bool operator==(const APFSPhysicalStore&) const = default;
    };

    // The property-list keys read, in field order. Any other key is ignored.
    struct CodingKeys {
        static constexpr const char* apfsContainerReference = "APFSContainerReference";
        static constexpr const char* apfsPhysicalStores = "APFSPhysicalStores";
        static constexpr const char* busProtocol = "BusProtocol";
        static constexpr const char* content = "Content";
        static constexpr const char* deviceIdentifier = "DeviceIdentifier";
        static constexpr const char* deviceTreePath = "DeviceTreePath";
        static constexpr const char* diskUUID = "DiskUUID";
        static constexpr const char* ejectable = "Ejectable";
        static constexpr const char* filesystemName = "FilesystemName";
        static constexpr const char* filesystemType = "FilesystemType";
        static constexpr const char* internal = "Internal";
        static constexpr const char* ioRegistryEntryName = "IORegistryEntryName";
        static constexpr const char* mediaName = "MediaName";
        static constexpr const char* mediaType = "MediaType";
        static constexpr const char* mountPoint = "MountPoint";
        static constexpr const char* parentWholeDisk = "ParentWholeDisk";
        static constexpr const char* removable = "Removable";
        static constexpr const char* removableMedia = "RemovableMedia";
        static constexpr const char* removableMediaOrExternalDevice =
            "RemovableMediaOrExternalDevice";
        static constexpr const char* size = "Size";
        static constexpr const char* systemImage = "SystemImage";
        static constexpr const char* virtualOrPhysical = "VirtualOrPhysical";
        static constexpr const char* volumeName = "VolumeName";
        static constexpr const char* volumeUUID = "VolumeUUID";
        static constexpr const char* wholeDisk = "WholeDisk";
        static constexpr const char* writable = "Writable";
        static constexpr const char* writableMedia = "WritableMedia";
    };

    std::optional<std::string> apfsContainerReference;
    std::optional<std::vector<APFSPhysicalStore>> apfsPhysicalStores;
    std::optional<std::string> busProtocol;
    std::optional<std::string> content;
    std::string deviceIdentifier;
    std::optional<std::string> deviceTreePath;
    std::optional<std::string> diskUUID;
    std::optional<bool> ejectable;
    std::optional<std::string> filesystemName;
    std::optional<std::string> filesystemType;
    std::optional<bool> internal;
    std::optional<std::string> ioRegistryEntryName;
    std::optional<std::string> mediaName;
    std::optional<std::string> mediaType;
    std::optional<std::string> mountPoint;
    std::optional<std::string> parentWholeDisk;
    std::optional<bool> removable;
    std::optional<bool> removableMedia;
    std::optional<bool> removableMediaOrExternalDevice;
    std::optional<std::int64_t> size;
    std::optional<bool> systemImage;
    std::optional<std::string> virtualOrPhysical;
    std::optional<std::string> volumeName;
    std::optional<std::string> volumeUUID;
    std::optional<bool> wholeDisk;
    std::optional<bool> writable;
    std::optional<bool> writableMedia;

    bool operator==(const DiskUtilityVolumeFacts&) const = default;

    // XML property-list bytes to facts. Nothing when the bytes are not
    // a dictionary, "DeviceIdentifier" is missing, or any known key has the wrong type.
    static std::optional<DiskUtilityVolumeFacts> decode(const std::string& bytes);
    static std::optional<DiskUtilityVolumeFacts> decode(const PropertyListValue& value);
};

} // namespace berthkeep
