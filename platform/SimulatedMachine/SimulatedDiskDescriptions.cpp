#include "platform/SimulatedMachine/SimulatedDiskDescriptions.hpp"

#include "platform/MountedVolumes/MountedVolumeListing.hpp"

#include <QString>

namespace berthkeep {

namespace {

std::optional<QUuid> parseUUID(const std::optional<std::string>& text) {
    if (!text) {
        return std::nullopt;
    }
    const QUuid uuid = QUuid::fromString(QString::fromStdString(*text));
    if (uuid.isNull()) {
        return std::nullopt;
    }
    return uuid;
}

DiskDescriptionValues mediaValues(const SimulatedWorld& world, const SimulatedDisk& disk) {
    const SimulatedDisk& physical = *world.physicalDiskOf(disk);
    DiskDescriptionValues values;
    values.deviceInternal = physical.internal;
    values.deviceProtocol = physical.busProtocol;
    values.mediaEjectable = physical.ejectable;
    values.mediaRemovable = physical.removable;
    return values;
}

} // namespace

std::vector<DiskArbitrationDisk> simulatedDiskArbitrationDisks(const SimulatedWorld& world) {
    std::vector<DiskArbitrationDisk> disks;
    for (const auto& disk : world.disks) {
        DiskArbitrationDisk whole;
        whole.identity = disk.bsdName;
        whole.bsdName = disk.bsdName;
        whole.lastKnownDescription = mediaValues(world, disk);
        whole.lastKnownDescription.mediaWhole = true;
        whole.lastKnownDescription.mediaLeaf = disk.volumes.empty();
        disks.push_back(std::move(whole));

        for (const auto& volume : disk.volumes) {
            DiskArbitrationDisk entry;
            entry.identity = volume.bsdName;
            entry.bsdName = volume.bsdName;
            DiskDescriptionValues values = mediaValues(world, disk);
            values.mediaWhole = false;
            values.mediaLeaf = true;
            if (volume.filesystemType) {
                values.volumeMountable = volume.mountable;
                values.volumeNetwork = false;
                values.volumeName = volume.volumeName;
                values.volumeUUID = parseUUID(volume.volumeUUID);
                if (volume.mounted && volume.mountPath) {
                    values.volumePath = volumeDirectoryURL(*volume.mountPath);
                }
            }
            entry.lastKnownDescription = std::move(values);
            disks.push_back(std::move(entry));
        }
    }
    for (const auto& share : world.networkVolumes) {
        DiskArbitrationDisk entry;
        entry.identity = "network:" + share.mountPath;
        DiskDescriptionValues values;
        values.volumeMountable = true;
        values.volumeNetwork = true;
        values.volumeName = share.name;
        values.volumeUUID = parseUUID(share.volumeUUID);
        values.volumePath = volumeDirectoryURL(share.mountPath);
        entry.lastKnownDescription = std::move(values);
        disks.push_back(std::move(entry));
    }
    return disks;
}

} // namespace berthkeep
