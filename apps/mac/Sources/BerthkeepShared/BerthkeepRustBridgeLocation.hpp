#pragma once

#include <optional>
#include <string>
#include <vector>

#include "BerthkeepShared/BerthkeepFileManager.hpp"
#include "BerthkeepShared/BerthkeepProcessInfo.hpp"

namespace berthkeep {

// Finds the core library and its helper executable at run time. Each search tries
// an explicit path from the environment, then the bundle and the executable's
// folder, then the build folders of a development checkout; the first candidate
// that passes the file test wins. Nothing is cached: every call looks afresh.
//
// The environment path and the development folders are only searched when
// `allowsDevelopmentLocations` is true; a shipped build under the production
// identifier loads only what its own bundle and executable folder hold.
class BerthkeepRustBridgeLocation {
public:
    // The one name of each artefact on this platform.
    static constexpr const char* libraryFileName = "libberthkeep_core.so";
    static constexpr const char* executableFileName = "berthkeep-core-bridge";

    static constexpr const char* libraryPathEnvironmentKey = "BERTHKEEP_RUST_CORE_LIBRARY_PATH";
    static constexpr const char* bridgePathEnvironmentKey = "BERTHKEEP_RUST_CORE_BRIDGE_PATH";

    BerthkeepRustBridgeLocation() = delete;

    // Every argument that names a place is a file system path. currentDirectoryURL:
    // the base of the development folders; the file manager's current directory
    // when absent. The library only has to exist.
    static std::optional<std::string> defaultLibraryURL(
        const BerthkeepProcessInfo& processInfo, const BerthkeepFileManager& fileManager,
        const std::string& libraryPathEnvironmentKey, const std::optional<std::string>& bundleURL,
        const std::optional<std::string>& executableURL,
        const std::optional<std::string>& privateFrameworksURL,
        const std::optional<std::string>& currentDirectoryURL, bool allowsDevelopmentLocations);

    // Same scheme for the helper; every candidate must be an executable file.
    static std::optional<std::string> defaultExecutableURL(
        const BerthkeepProcessInfo& processInfo, const BerthkeepFileManager& fileManager,
        const std::string& bridgePathEnvironmentKey, const std::optional<std::string>& bundleURL,
        const std::optional<std::string>& executableURL,
        const std::optional<std::string>& currentDirectoryURL, bool allowsDevelopmentLocations);

    // The searches every part of the program makes: the standard environment key,
    // the main bundle's folders, the process's current directory, and the
    // development locations only where the runtime identity allows overrides.
    static std::optional<std::string> mainBundleLibraryURL(const BerthkeepProcessInfo& processInfo,
                                                           const BerthkeepFileManager& fileManager);
    static std::optional<std::string>
    mainBundleExecutableURL(const BerthkeepProcessInfo& processInfo,
                            const BerthkeepFileManager& fileManager);

    // True in a debug build, or under a bundle identifier other than the
    // production one (read from the main bundle at the call).
    static bool developmentLocationsAllowed();

private:
    static std::vector<std::string> ancestorDirectories(const std::string& directory);
    static std::vector<std::string>
    executableAncestors(const std::optional<std::string>& executableFolder);
};

} // namespace berthkeep
