#pragma once

#include "Berthkeep/Settings/SettingsText.hpp"

namespace berthkeep {

// A secondary note under a row or in a card: wraps onto as many lines as it
// needs and is never cut.
class SettingsInfoText final : public SettingsText {
public:
    explicit SettingsInfoText(QString text, QWidget* parent = nullptr);
};

} // namespace berthkeep
