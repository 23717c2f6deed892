#include "platform/System/DisplayPlatformChoice.hpp"

#include <cstdio>
#include <cstdlib>

namespace berthkeep {

std::optional<std::string>
DisplayPlatformChoice::forcedPlatform(const std::map<std::string, std::string>& environment) {
    for (const char* key : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const auto found = environment.find(key);
        if (found != environment.end() && !found->second.empty()) {
            return std::nullopt;
        }
    }
    return std::string(offscreenPlatform);
}

bool DisplayPlatformChoice::applyToProcess(const char* programName) {
    std::map<std::string, std::string> environment;
    for (const char* key : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (const char* value = std::getenv(key)) {
            environment[key] = value;
        }
    }
    const auto platform = forcedPlatform(environment);
    if (!platform) {
        return false;
    }
    ::setenv("QT_QPA_PLATFORM", platform->c_str(), 1);
    std::fprintf(stderr,
                 "%s: no display (DISPLAY and WAYLAND_DISPLAY are unset); running on the %s "
                 "platform, so no window is shown.\n",
                 programName, platform->c_str());
    return true;
}

} // namespace berthkeep
