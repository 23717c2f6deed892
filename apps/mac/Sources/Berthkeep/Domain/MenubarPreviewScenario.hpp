#pragma once

#include "Berthkeep/Domain/MenubarViewState.hpp"

#include <array>

namespace berthkeep {

// Fixed sample menu states with made-up drives, so the menu can be drawn without a
// store, a drive or a core (screenshots, previews).
enum class MenubarPreviewScenario {
    limitedProtection,
    fullMonitoringUnavailable,
    fullMonitoringVerifying,
    safe,
    attention,
    multipleDrivesBusy,
    working,
    noManagedDrives,
    excludedDrivesOnly,
};

inline constexpr std::array<MenubarPreviewScenario, 9> allMenubarPreviewScenarios{
    MenubarPreviewScenario::limitedProtection,
    MenubarPreviewScenario::fullMonitoringUnavailable,
    MenubarPreviewScenario::fullMonitoringVerifying,
    MenubarPreviewScenario::safe,
    MenubarPreviewScenario::attention,
    MenubarPreviewScenario::multipleDrivesBusy,
    MenubarPreviewScenario::working,
    MenubarPreviewScenario::noManagedDrives,
    MenubarPreviewScenario::excludedDrivesOnly,
};

// A new value on every call; equal for equal scenarios.
MenubarViewState state(MenubarPreviewScenario scenario);

} // namespace berthkeep
