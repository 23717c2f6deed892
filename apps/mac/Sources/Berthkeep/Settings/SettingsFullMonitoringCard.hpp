#pragma once

#include "Berthkeep/Settings/SettingsSectionView.hpp"

class QLabel;

namespace berthkeep {

class BerthkeepStore;
class SettingsInfoText;
class SettingsStatusPill;
class SettingsToggleRow;

// The Full Monitoring switch (on asks through the enable prompt), adaptive app
// learning, and the status the store reports, with a way to the system settings
// when setup is required.
class SettingsFullMonitoringCard final : public SettingsSectionView {
public:
    // The store outlives the card.
    explicit SettingsFullMonitoringCard(BerthkeepStore& store, QWidget* parent = nullptr);

    void refresh();

    SettingsToggleRow* fullMonitoringRow() const { return m_fullMonitoringRow; }
    SettingsToggleRow* adaptiveLearningRow() const { return m_adaptiveLearningRow; }
    SettingsStatusPill* statusPill() const { return m_statusPill; }
    QWidget* setupRequiredNote() const { return m_setupRequired; }
    // Why monitoring is unavailable, when the last probe said.
    SettingsInfoText* unavailableReason() const { return m_unavailableReason; }
    QLabel* openSystemSettingsLink() const { return m_openSystemSettingsLink; }

private:
    BerthkeepStore& m_store;
    SettingsToggleRow* m_fullMonitoringRow;
    SettingsToggleRow* m_adaptiveLearningRow;
    SettingsStatusPill* m_statusPill;
    QWidget* m_setupRequired;
    SettingsInfoText* m_unavailableReason;
    QLabel* m_openSystemSettingsLink;
};

} // namespace berthkeep
