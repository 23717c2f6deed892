#pragma once

#include "Berthkeep/Settings/SettingsSectionView.hpp"

namespace berthkeep {

class BerthkeepStore;
class SettingsToggleRow;

// The consent to share anonymous usage statistics.
class SettingsPrivacyCard final : public SettingsSectionView {
public:
    // The store outlives the card.
    explicit SettingsPrivacyCard(BerthkeepStore& store, QWidget* parent = nullptr);

    void refresh();
    SettingsToggleRow* usageStatisticsRow() const { return m_usageStatisticsRow; }

private:
    BerthkeepStore& m_store;
    SettingsToggleRow* m_usageStatisticsRow;
};

} // namespace berthkeep
