#pragma once

#include <string>

namespace berthkeep {

// File primitives the simulated machine's shared files are built on. Every
// failure throws SimulatedStateError naming the path.

// Holds an flock on a sidecar lock file for its lifetime (the folder is made when
// missing). Locks belong to the open file, so two of them conflict even within
// one process.
class SimulatedFileLock {
public:
    SimulatedFileLock(const std::string& path, int operation);
    ~SimulatedFileLock();
    SimulatedFileLock(const SimulatedFileLock&) = delete;
    SimulatedFileLock& operator=(const SimulatedFileLock&) = delete;

private:
    int m_fd = -1;
};

// The whole file; false when it does not exist.
bool readSimulatedFile(const std::string& path, std::string& bytes);
// Writes beside the file and renames over it, so readers never see a torn file.
void replaceSimulatedFile(const std::string& path, const std::string& bytes);

} // namespace berthkeep
