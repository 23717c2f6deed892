#include "Berthkeep/Settings/SettingsGeneralCard.hpp"

#include "Berthkeep/Settings/SettingsDivider.hpp"
#include "Berthkeep/Settings/SettingsInfoText.hpp"
#include "Berthkeep/Settings/SettingsPalette.hpp"
#include "Berthkeep/Settings/SettingsRowNote.hpp"
#include "Berthkeep/Settings/SettingsToggleRow.hpp"
#include "Berthkeep/Store/BerthkeepStore.hpp"

namespace berthkeep {

SettingsGeneralCard::SettingsGeneralCard(BerthkeepStore& store, QWidget* parent)
    : SettingsSectionView("General", "slider.horizontal.3", "Startup and notification preferences.",
                          SettingsPalette::blue(), parent)
    , m_store(store) {
    m_launchAtLoginRow = new SettingsToggleRow(
        "Launch at Login", "Start Berthkeep automatically when you sign in.", "power",
        {[this] { return m_store.launchAtLoginEnabled(); },
         [this](bool on) {
             m_store.setLaunchAtLoginEnabled(on);
         }});
    m_launchAtLoginNote = new SettingsInfoText({});
    m_notificationsRow = new SettingsToggleRow(
        "Notifications", "Alert after sleep failures that need attention.", "bell.badge",
        {[this] { return m_store.notificationsEnabled(); },
         [this](bool on) {
             m_store.setNotificationsEnabledByUser(on);
         }});
    m_notificationsNote = new SettingsInfoText("Allow Berthkeep notifications in System Settings.");

    QVBoxLayout* content = contentLayout();
    content->addWidget(m_launchAtLoginRow);
    content->addWidget(asRowNote(m_launchAtLoginNote));
    content->addWidget(new SettingsDivider);
    content->addWidget(m_notificationsRow);
    content->addWidget(asRowNote(m_notificationsNote));
    refresh();
}

void SettingsGeneralCard::refresh() {
    m_launchAtLoginRow->refresh();
    m_launchAtLoginRow->setEnabled(m_store.launchAtLoginIsAvailable());
    const auto message = m_store.launchAtLoginAvailabilityMessage();
    m_launchAtLoginNote->setText(message ? QString::fromStdString(*message) : QString());
    m_launchAtLoginNote->setVisible(message.has_value());
    m_notificationsRow->refresh();
    m_notificationsNote->setVisible(m_store.notificationsEnabled() &&
                                    m_store.notificationsAuthorizationStatus() ==
                                        BerthkeepNotificationAuthorizationStatus::denied);
}

} // namespace berthkeep
