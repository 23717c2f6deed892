// Stand-in for the system's disk utility, answering from the simulated machine.
// It shares the core library's process scan to refuse unmounting a volume that a
// process holds (an open file or its working directory under the mount folder).
#include "ActivityMonitorProcessScan.hpp"
#include "platform/SimulatedMachine/SimulatedStandIn.hpp"

#include <cstdio>

namespace {

std::vector<std::int64_t> holdersOf(const std::vector<std::string>& mountPaths) {
    // A mount root reached through a symbolic link is held under its resolved path.
    std::vector<std::string> roots;
    for (const std::string& path : mountPaths) {
        roots.push_back(berthkeep::core::resolvedScanRoot(path));
    }
    const auto scan = berthkeep::core::scanProcesses(roots, nullptr);
    std::vector<std::int64_t> counts;
    for (const auto& usage : scan.volumes) {
        counts.push_back(usage.openFileProcesses + usage.cwdProcesses);
    }
    return counts;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto result = berthkeep::runDiskUtilityStandIn(
        arguments, berthkeep::SimulatedStateFile::fromEnvironment(), holdersOf);
    std::fwrite(result.standardOutput.data(), 1, result.standardOutput.size(), stdout);
    std::fwrite(result.standardError.data(), 1, result.standardError.size(), stderr);
    return result.exitStatus;
}
