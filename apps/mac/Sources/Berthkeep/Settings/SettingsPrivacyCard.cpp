#include "Berthkeep/Settings/SettingsPrivacyCard.hpp"

#include "Berthkeep/Settings/SettingsPalette.hpp"
#include "Berthkeep/Settings/SettingsToggleRow.hpp"
#include "Berthkeep/Store/BerthkeepStore.hpp"

namespace berthkeep {

SettingsPrivacyCard::SettingsPrivacyCard(BerthkeepStore& store, QWidget* parent)
    : SettingsSectionView("Privacy", "lock.shield", "Diagnostic sharing and data boundaries.",
                          SettingsPalette::mint(), parent)
    , m_store(store) {
    m_usageStatisticsRow = new SettingsToggleRow(
        "Share anonymous usage statistics",
        "Optional reliability metrics; never file or drive contents.", "chart.bar.fill",
        {[this] { return m_store.anonymousUsageStatisticsEnabled(); },
         [this](bool on) {
             m_store.setAnonymousUsageStatisticsEnabledByUser(on);
         }});
    contentLayout()->addWidget(m_usageStatisticsRow);
}

void SettingsPrivacyCard::refresh() {
    m_usageStatisticsRow->refresh();
}

} // namespace berthkeep
