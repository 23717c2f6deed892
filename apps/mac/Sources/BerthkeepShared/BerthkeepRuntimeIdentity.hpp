#pragma once

#include <optional>
#include <string>

#include "platform/Bundle/AppBundle.hpp"

namespace berthkeep {

// Who the running program is: its bundle identifiers, whether the environment
// may override configuration, and its Application Support folder name.
class BerthkeepRuntimeIdentity {
public:
#ifdef NDEBUG
    static constexpr bool isDebugBuild = false;
#else
    static constexpr bool isDebugBuild = true;
#endif

    static inline const std::string productionBundleIdentifier = kProductionBundleIdentifier;
    static inline const std::string testBundleIdentifier = kTestBundleIdentifier;

    // The identifier when present and not empty, else the production one.
    static std::string effectiveBundleIdentifier(const std::optional<std::string>& identifier);
    // The main bundle's identifier, read afresh on every call.
    static std::string currentBundleIdentifier();
    // A debug build always honours the environment; a release build only under an
    // identifier other than the production one.
    static bool allowsEnvironmentConfigurationOverrides(
        const std::optional<std::string>& bundleIdentifier,
        bool isDebugBuild = BerthkeepRuntimeIdentity::isDebugBuild);
    // "Berthkeep Test" under the test identifier, "Berthkeep" otherwise.
    static std::string
    applicationSupportDirectoryName(const std::optional<std::string>& bundleIdentifier);
    // <Application Support>/<folder name>; nothing when the user's folder is unknown.
    static std::optional<std::string>
    applicationSupportDirectoryPath(const std::optional<std::string>& bundleIdentifier);
};

} // namespace berthkeep
