#pragma once

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/SimulatedMachine/SimulatedPowerFile.hpp"

namespace berthkeep {

class SimulatedCommandUsageError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// The control tool's power commands, given the arguments after the command word:
//   power can-sleep|will-sleep|has-powered-on [--wait SECONDS]
//   sleep [--pause MS]
// With a wait, each message's outcome is one JSON line. Returns the exit status:
// 0 when every program answered, 1 otherwise. The give-up bound of a will-sleep
// comes from the environment (SimulatedPowerFile::giveUpEnvironmentVariable), in ms.
int runSimulatedPowerCommand(const std::string& command, const std::vector<std::string>& arguments,
                             const SimulatedPowerFile& powerFile, std::ostream& out);

// One JSON line: {"message":"can-sleep","acknowledged":true,"allowed":true,"elapsed_ms":12}
std::string simulatedPowerAnswerLine(SimulatedPowerMessage message,
                                     const SimulatedPowerFile::Answer& answer);

} // namespace berthkeep
