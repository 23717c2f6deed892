#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"

#include "platform/Paths/ApplicationSupport.hpp"

namespace berthkeep {

std::string
BerthkeepRuntimeIdentity::effectiveBundleIdentifier(const std::optional<std::string>& identifier) {
    if (identifier && !identifier->empty()) {
        return *identifier;
    }
    return productionBundleIdentifier;
}

std::string BerthkeepRuntimeIdentity::currentBundleIdentifier() {
    return effectiveBundleIdentifier(AppBundle::main()->bundleIdentifier());
}

bool BerthkeepRuntimeIdentity::allowsEnvironmentConfigurationOverrides(
    const std::optional<std::string>& bundleIdentifier, bool isDebugBuild) {
    if (isDebugBuild) {
        return true;
    }
    return effectiveBundleIdentifier(bundleIdentifier) != productionBundleIdentifier;
}

std::string BerthkeepRuntimeIdentity::applicationSupportDirectoryName(
    const std::optional<std::string>& bundleIdentifier) {
    return effectiveBundleIdentifier(bundleIdentifier) == testBundleIdentifier ? "Berthkeep Test"
                                                                               : "Berthkeep";
}

std::optional<std::string> BerthkeepRuntimeIdentity::applicationSupportDirectoryPath(
    const std::optional<std::string>& bundleIdentifier) {
    return ApplicationSupport::directory(applicationSupportDirectoryName(bundleIdentifier));
}

} // namespace berthkeep
