#pragma once

#include "platform/MountedVolumes/MountedVolumeUnmounting.hpp"
#include "platform/SimulatedMachine/SimulatedStateFile.hpp"

namespace berthkeep {

// Unmounts a volume of the simulated machine by its mount path, on the global
// thread pool, as the stand-in `diskutil unmount` of that path would.
class SimulatedMountedVolumeUnmounting final : public MountedVolumeUnmounting {
public:
    explicit SimulatedMountedVolumeUnmounting(SimulatedStateFile stateFile);

    void unmountVolume(const QUrl& volumeURL, Completion completion) override;

private:
    SimulatedStateFile m_stateFile;
};

} // namespace berthkeep
