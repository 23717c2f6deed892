#include "platform/SimulatedMachine/SimulatedStateFile.hpp"

#include "platform/SimulatedMachine/SimulatedFileAccess.hpp"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/file.h>

namespace berthkeep {

namespace {

SimulatedWorld readUnlocked(const std::string& path) {
    std::string bytes;
    if (!readSimulatedFile(path, bytes)) {
        return SimulatedWorld{};
    }
    return parseSimulatedWorld(bytes);
}

void writeUnlocked(const std::string& path, const SimulatedWorld& world) {
    replaceSimulatedFile(path, serializeSimulatedWorld(world));
}

// The machine a build made for itself (<build>/sim/state.json, see
// scripts/run), when this program is one of that build's: a stand-in tool in
// <build>/sim-bin/ or the program in <build>/Berthkeep.app/Contents/MacOS/.
// So the commands scripts/run prints work without setting anything.
std::optional<std::string> buildMachinePath() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return std::nullopt;
    }
    const auto folder = executable.parent_path();
    for (const auto& build :
         {folder.parent_path(), folder.parent_path().parent_path().parent_path()}) {
        const auto state = build / "sim" / "state.json";
        if (std::filesystem::is_regular_file(state, error)) {
            return state.string();
        }
    }
    return std::nullopt;
}

} // namespace

SimulatedStateFile::SimulatedStateFile(std::string path)
    : m_path(std::move(path)) {}

std::string SimulatedStateFile::defaultPath() {
    const auto nonEmpty = [](const char* name) -> std::string {
        const char* value = std::getenv(name);
        return value ? std::string(value) : std::string();
    };
    if (auto explicitPath = nonEmpty(environmentVariable); !explicitPath.empty()) {
        return explicitPath;
    }
    if (auto buildMachine = buildMachinePath()) {
        return *buildMachine;
    }
    if (auto runtime = nonEmpty("XDG_RUNTIME_DIR"); !runtime.empty()) {
        return runtime + "/berthkeep-sim/state.json";
    }
    std::string data = nonEmpty("XDG_DATA_HOME");
    if (data.empty()) {
        const std::string home = nonEmpty("HOME");
        data = (home.empty() ? std::string("/tmp") : home) + "/.local/share";
    }
    return data + "/berthkeep-sim/state.json";
}

SimulatedWorld SimulatedStateFile::read() const {
    // Writers replace the file atomically, so the shared lock only orders a read
    // after a writer in progress; without a writable folder, read unlocked.
    std::optional<SimulatedFileLock> lock;
    try {
        lock.emplace(lockPath(), LOCK_SH);
    } catch (const SimulatedStateError&) {
    }
    return readUnlocked(m_path);
}

bool SimulatedStateFile::update(const std::function<bool(SimulatedWorld&)>& change) const {
    SimulatedFileLock lock(lockPath(), LOCK_EX);
    SimulatedWorld world = readUnlocked(m_path);
    const bool changed = change(world);
    if (changed) {
        writeUnlocked(m_path, world);
    }
    return changed;
}

void SimulatedStateFile::write(const SimulatedWorld& world) const {
    SimulatedFileLock lock(lockPath(), LOCK_EX);
    writeUnlocked(m_path, world);
}

} // namespace berthkeep
