#pragma once

#include "platform/MountedVolumes/MountedVolumeListing.hpp"
#include "platform/SimulatedMachine/SimulatedStateFile.hpp"

namespace berthkeep {

// Mounted volumes of the simulated machine: every mounted volume of its disks
// ("/" first when present), then its network volumes. Hidden volumes are not
// browsable and are left out when asked to skip them.
class SimulatedMountedVolumeListing : public MountedVolumeListing {
public:
    explicit SimulatedMountedVolumeListing(SimulatedStateFile stateFile);

    std::optional<std::vector<QUrl>>
    mountedVolumeURLs(const std::set<VolumeResourceKey>& keys,
                      MountedVolumeListingOptions options) const override;
    VolumeResourceValues resourceValues(const QUrl& volumeURL,
                                        const std::set<VolumeResourceKey>& keys) const override;

private:
    SimulatedStateFile m_stateFile;
};

} // namespace berthkeep
