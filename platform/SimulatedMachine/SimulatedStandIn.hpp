#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/SimulatedMachine/SimulatedMachineActions.hpp"
#include "platform/SimulatedMachine/SimulatedStateFile.hpp"

namespace berthkeep {

// The bodies of the stand-in `diskutil` and `hdiutil` executables: the arguments
// (without the program name) in, what to print and the exit status out. Scripted
// behaviours of the state file are honoured here, including delays and hangs,
// so a call may block for a long time or forever. A call that changes the machine
// acts on the disk its device named as it began, known by its volume UUIDs: if
// that disk has left the name meanwhile, the call fails as for a disk that is
// gone and changes nothing, whatever disk has the name now. An eject still under
// way when the machine wakes ends on the disk the wake enumerated again: its
// volumes are unmounted, the disk stays attached.
//
//   diskutil list -plist external
//   diskutil info -plist <device>
//   diskutil eject|unmount|mount|mountDisk <device>
//   hdiutil info -plist
//
// With `holders`, "eject" and "unmount" refuse, as the real tool does, while a
// process holds a volume they would take away: exit status 1, the volume named
// on standard error, the machine unchanged.
using MountPathHolders =
    std::function<std::vector<std::int64_t>(const std::vector<std::string>& mountPaths)>;
SimulatedCommandResult runDiskUtilityStandIn(const std::vector<std::string>& arguments,
                                             const SimulatedStateFile& stateFile,
                                             const MountPathHolders& holders = {});
SimulatedCommandResult runDiskImageUtilityStandIn(const std::vector<std::string>& arguments,
                                                  const SimulatedStateFile& stateFile);

} // namespace berthkeep
