#pragma once

#include <QPalette>

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace berthkeep {

// The harness window's appearance: the system's, or forced light or dark.
enum class HarnessAppearanceMode {
    system,
    light,
    dark,
};

inline constexpr std::array<HarnessAppearanceMode, 3> allHarnessAppearanceModes{
    HarnessAppearanceMode::system,
    HarnessAppearanceMode::light,
    HarnessAppearanceMode::dark,
};

std::string rawValue(HarnessAppearanceMode mode);
std::optional<HarnessAppearanceMode> harnessAppearanceModeFromRawValue(std::string_view raw);
// "System", "Light", "Dark".
std::string title(HarnessAppearanceMode mode);

// The palette a forced appearance paints with; none for the system's, which
// is whatever the application palette says.
std::optional<QPalette> harnessPalette(HarnessAppearanceMode mode);

} // namespace berthkeep
