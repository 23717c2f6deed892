#include "Berthkeep/Inventory/DiskArbitrationDiskDescription.hpp"

#include "platform/DiskArbitration/DiskArbitrationSession.hpp"

namespace berthkeep {

DiskArbitrationDiskDescription
DiskArbitrationDiskDescription::make(const DiskDescriptionValues& values) {
    DiskArbitrationDiskDescription description;
    description.deviceInternal = values.deviceInternal;
    description.deviceProtocol = values.deviceProtocol;
    description.mediaEjectable = values.mediaEjectable;
    description.mediaLeaf = values.mediaLeaf;
    description.mediaRemovable = values.mediaRemovable;
    description.mediaWhole = values.mediaWhole;
    description.volumeName = values.volumeName;
    if (values.volumeUUID) {
        description.volumeUUIDString =
            values.volumeUUID->toString(QUuid::WithoutBraces).toUpper().toStdString();
    }
    description.volumeMountable = values.volumeMountable;
    description.volumeNetwork = values.volumeNetwork;
    description.volumePath = values.volumePath;
    return description;
}

} // namespace berthkeep
