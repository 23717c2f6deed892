#pragma once

#include <string>
#include <string_view>

#include "platform/SimulatedMachine/SimulatedMachineActions.hpp"

namespace berthkeep {

// Gives a volume a new name. A mounted volume moves to the mount path of the new
// name, as the real service renames the mount point.
SimulatedCommandResult renameVolume(SimulatedWorld& world, std::string_view device,
                                    const std::string& newName);

} // namespace berthkeep
