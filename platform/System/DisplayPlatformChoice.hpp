#pragma once

#include <map>
#include <optional>
#include <string>

namespace berthkeep {

// Qt's widgets abort without a display. A program that may start headless
// (scripts, tests, a remote shell) picks the offscreen platform itself.
class DisplayPlatformChoice {
public:
    static constexpr const char* offscreenPlatform = "offscreen";

    // The platform to use instead of Qt's choice: offscreen when neither
    // QT_QPA_PLATFORM, DISPLAY nor WAYLAND_DISPLAY is set; nothing otherwise.
    static std::optional<std::string>
    forcedPlatform(const std::map<std::string, std::string>& environment);

    // Applies the choice to this process's environment before the application
    // object exists, and says so on standard error. True when it forced one.
    static bool applyToProcess(const char* programName);
};

} // namespace berthkeep
