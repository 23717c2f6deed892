#include "Berthkeep/Settings/SettingsFullMonitoringCard.hpp"

#include <QLabel>

#include "Berthkeep/Domain/MenubarRemediationAction.hpp"
#include "Berthkeep/Settings/SettingsDivider.hpp"
#include "Berthkeep/Settings/SettingsInfoText.hpp"
#include "Berthkeep/Settings/SettingsPalette.hpp"
#include "Berthkeep/Settings/SettingsRowNote.hpp"
#include "Berthkeep/Settings/SettingsStatusPill.hpp"
#include "Berthkeep/Settings/SettingsToggleRow.hpp"
#include "Berthkeep/Settings/SettingsTypography.hpp"
#include "Berthkeep/Store/BerthkeepStore.hpp"

namespace berthkeep {

SettingsFullMonitoringCard::SettingsFullMonitoringCard(BerthkeepStore& store, QWidget* parent)
    : SettingsSectionView("Full Monitoring", "waveform.path.ecg",
                          "Background activity checks for safer eject decisions.",
                          SettingsPalette::teal(), parent)
    , m_store(store) {
    m_fullMonitoringRow = new SettingsToggleRow(
        "Full Monitoring", "Watch system-level file access for hidden drive activity.", "eye",
        {[this] { return m_store.fullMonitoringEnabled(); },
         [this](bool on) {
             m_store.setFullMonitoringEnabledByUser(on);
         }});
    m_adaptiveLearningRow = new SettingsToggleRow(
        "Adaptive app learning", "Learns apps that frequently touch managed drives.", "sparkles",
        {[this] { return m_store.adaptiveTargetedAssistEnabled(); },
         [this](bool on) {
             m_store.setAdaptiveTargetedAssistEnabledByUser(on);
         }});

    QVBoxLayout* content = contentLayout();
    content->addWidget(m_fullMonitoringRow);
    content->addWidget(new SettingsDivider);
    content->addWidget(m_adaptiveLearningRow);
    content->addWidget(asRowNote(
        new SettingsInfoText("Learns additional apps that frequently access managed drives and "
                             "adds them to supplemental detection. Built-in support for Preview, "
                             "Quick Look, TV, and QuickTime Player stays on.")));

    auto* status = new QVBoxLayout;
    status->setContentsMargins(16, 0, 16, 12);
    status->setSpacing(6);
    status->addWidget(new SettingsInfoText(
        QString::fromUtf8("Monitors system-level file access to detect when apps like Preview or "
                          "Finder are reading from or writing to a drive \u2014 even when they "
                          "appear inactive. Reduces failed eject attempts caused by hidden "
                          "background activity.")));
    m_statusPill = new SettingsStatusPill({}, SettingsPalette::secondaryTint());
    status->addWidget(m_statusPill, 0, Qt::AlignLeft);

    m_setupRequired = new QWidget;
    auto* setup = new QVBoxLayout(m_setupRequired);
    setup->setContentsMargins(0, 0, 0, 0);
    setup->setSpacing(8);
    setup->addWidget(new SettingsInfoText("Additional permission required."));
    m_unavailableReason = new SettingsInfoText({});
    setup->addWidget(m_unavailableReason);
    m_openSystemSettingsLink = new QLabel("<a href=\"settings\">Open System Settings</a>");
    m_openSystemSettingsLink->setFont(SettingsTypography::callout());
    m_openSystemSettingsLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse |
                                                      Qt::LinksAccessibleByKeyboard);
    m_openSystemSettingsLink->setCursor(Qt::PointingHandCursor);
    connect(m_openSystemSettingsLink, &QLabel::linkActivated, this,
            [this] { m_store.perform(MenubarRemediationAction::openSystemSettings()); });
    setup->addWidget(m_openSystemSettingsLink, 0, Qt::AlignLeft);
    status->addWidget(m_setupRequired);
    content->addLayout(status);
    refresh();
}

void SettingsFullMonitoringCard::refresh() {
    m_fullMonitoringRow->refresh();
    m_adaptiveLearningRow->refresh();
    const FullMonitoringStatus status = m_store.fullMonitoringStatus();
    switch (status) {
    case FullMonitoringStatus::checking:
        m_statusPill->setLabel(QString::fromUtf8("Status: Checking\u2026"),
                               SettingsPalette::secondaryTint());
        break;
    case FullMonitoringStatus::active:
        m_statusPill->setLabel("Status: Active", SettingsPalette::green());
        break;
    default:
        break;
    }
    m_statusPill->setVisible(status == FullMonitoringStatus::checking ||
                             status == FullMonitoringStatus::active);
    m_setupRequired->setVisible(status == FullMonitoringStatus::setupRequired);
    const FullMonitoringCapability& capability = m_store.fullMonitoringCapability();
    const bool hasReason = capability.kind() == FullMonitoringCapability::Kind::unavailable &&
                           capability.message() && !capability.message()->empty();
    if (hasReason) {
        m_unavailableReason->setText(
            QStringLiteral("Unavailable: %1").arg(QString::fromStdString(*capability.message())));
    }
    m_unavailableReason->setVisible(hasReason);
}

} // namespace berthkeep
