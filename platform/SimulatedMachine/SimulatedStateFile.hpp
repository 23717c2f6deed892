#pragma once

#include <functional>
#include <string>

#include "platform/SimulatedMachine/SimulatedWorld.hpp"

namespace berthkeep {

// The one JSON file that holds the simulated machine. Every stand-in process and
// the in-process layers read it; changes go through update(), which holds an
// exclusive lock on a sidecar lock file for the whole read-modify-write and
// replaces the file atomically, so concurrent tools never see a torn file.
class SimulatedStateFile {
public:
    static constexpr const char* environmentVariable = "BERTHKEEP_SIM_STATE";

    explicit SimulatedStateFile(std::string path);

    // BERTHKEEP_SIM_STATE, else $XDG_RUNTIME_DIR/berthkeep-sim/state.json, else
    // $XDG_DATA_HOME (or ~/.local/share)/berthkeep-sim/state.json.
    static std::string defaultPath();
    static SimulatedStateFile fromEnvironment() { return SimulatedStateFile(defaultPath()); }

    const std::string& path() const { return m_path; }
    std::string lockPath() const { return m_path + ".lock"; }

    // A missing file is an empty world (no disks at all). Throws SimulatedStateError
    // for a file that cannot be read or parsed.
    SimulatedWorld read() const;
    // Runs the change with the lock held and writes the result when the change
    // returns true. Returns what the change returned.
    bool update(const std::function<bool(SimulatedWorld&)>& change) const;
    void write(const SimulatedWorld& world) const;

private:
    std::string m_path;
};

} // namespace berthkeep
