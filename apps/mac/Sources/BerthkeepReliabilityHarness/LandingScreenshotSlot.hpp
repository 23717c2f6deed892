#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Berthkeep/Domain/MenubarPreviewScenario.hpp"

namespace berthkeep {

// The menu states the landing page shows as screenshots, each drawn from a fixed
// sample state and written under its own file name.
enum class LandingScreenshotSlot {
    safe,
    attention,
    working,
    limitedProtection,
};

inline constexpr std::array<LandingScreenshotSlot, 4> allLandingScreenshotSlots{
    LandingScreenshotSlot::safe,
    LandingScreenshotSlot::attention,
    LandingScreenshotSlot::working,
    LandingScreenshotSlot::limitedProtection,
};

// "safe", "attention", "working", "limitedProtection"; also the slot's identifier.
std::string rawValue(LandingScreenshotSlot slot);
std::optional<LandingScreenshotSlot> landingScreenshotSlotFromRawValue(std::string_view raw);

MenubarPreviewScenario previewScenario(LandingScreenshotSlot slot);
// Shown upper-cased on the catalog card.
std::string label(LandingScreenshotSlot slot);
std::string headline(LandingScreenshotSlot slot);
std::string note(LandingScreenshotSlot slot);
// "menubar-safe.png", ...
std::string fileName(LandingScreenshotSlot slot);
// What the capture must show, in order.
std::vector<std::string> desiredContents(LandingScreenshotSlot slot);

} // namespace berthkeep
