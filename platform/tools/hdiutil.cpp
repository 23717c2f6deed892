// Stand-in for the system's disk image utility, answering from the simulated machine.
#include "platform/SimulatedMachine/SimulatedStandIn.hpp"

#include <cstdio>

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto result = berthkeep::runDiskImageUtilityStandIn(
        arguments, berthkeep::SimulatedStateFile::fromEnvironment());
    std::fwrite(result.standardOutput.data(), 1, result.standardOutput.size(), stdout);
    std::fwrite(result.standardError.data(), 1, result.standardError.size(), stderr);
    return result.exitStatus;
}
