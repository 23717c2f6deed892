#pragma once

#include "Berthkeep/Settings/SettingsSectionView.hpp"

namespace berthkeep {

class BerthkeepStore;
class SettingsInfoText;
class SettingsToggleRow;

// Launch at login, with the reason when the login item cannot be managed, and
// notifications, with a hint when the system denies them.
class SettingsGeneralCard final : public SettingsSectionView {
public:
    // The store outlives the card (the settings window lives as long as it).
    explicit SettingsGeneralCard(BerthkeepStore& store, QWidget* parent = nullptr);

    void refresh();

    SettingsToggleRow* launchAtLoginRow() const { return m_launchAtLoginRow; }
    SettingsToggleRow* notificationsRow() const { return m_notificationsRow; }
    SettingsInfoText* launchAtLoginNote() const { return m_launchAtLoginNote; }
    SettingsInfoText* notificationsNote() const { return m_notificationsNote; }

private:
    BerthkeepStore& m_store;
    SettingsToggleRow* m_launchAtLoginRow;
    SettingsInfoText* m_launchAtLoginNote;
    SettingsToggleRow* m_notificationsRow;
    SettingsInfoText* m_notificationsNote;
};

} // namespace berthkeep
