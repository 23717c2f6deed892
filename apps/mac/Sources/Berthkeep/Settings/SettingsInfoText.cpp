#include "Berthkeep/Settings/SettingsInfoText.hpp"

#include "Berthkeep/Settings/SettingsTypography.hpp"

namespace berthkeep {

SettingsInfoText::SettingsInfoText(QString text, QWidget* parent)
    : SettingsText(std::move(text), SettingsTypography::callout(), Style::secondary, 0, parent) {}

} // namespace berthkeep
