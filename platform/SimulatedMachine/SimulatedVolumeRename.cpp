#include "platform/SimulatedMachine/SimulatedVolumeRename.hpp"

namespace berthkeep {

SimulatedCommandResult renameVolume(SimulatedWorld& world, std::string_view device,
                                    const std::string& newName) {
    SimulatedVolume* volume = world.findVolume(device);
    if (!volume) {
        return SimulatedCommandResult{1, {}, "Unable to find volume " + std::string(device) + "\n"};
    }
    if (newName.empty() || !volume->filesystemType) {
        return SimulatedCommandResult{
            1, {}, "Unable to rename " + volume->bsdName + ": no file system to name\n"};
    }
    const bool wasMounted = volume->mounted;
    if (wasMounted) {
        markVolumeUnmounted(*volume);
    }
    volume->volumeName = newName;
    if (wasMounted) {
        markVolumeMounted(world, *volume);
    }
    return SimulatedCommandResult{
        0, "Volume on " + volume->bsdName + " renamed to " + newName + "\n", {}};
}

} // namespace berthkeep
