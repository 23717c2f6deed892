#include "Berthkeep/Settings/SettingsAboutCard.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "Berthkeep/Settings/SettingsPalette.hpp"
#include "Berthkeep/Settings/SettingsSymbolBadge.hpp"
#include "Berthkeep/Settings/SettingsText.hpp"
#include "Berthkeep/Settings/SettingsTypography.hpp"

namespace berthkeep {

SettingsAboutCard::SettingsAboutCard(const QString& appVersionDisplayText,
                                     bool isUpdateCheckAvailable,
                                     std::function<void()> onCheckForUpdates, QWidget* parent)
    : SettingsSectionView("About", "info.circle.fill", "App version and updates.",
                          SettingsPalette::indigo(), parent) {
    auto* holder = new QWidget;
    holder->setMinimumHeight(48);
    auto* row = new QHBoxLayout(holder);
    row->setContentsMargins(16, 8, 16, 8);
    row->setSpacing(12);
    row->addWidget(new SettingsSymbolBadge("app.badge", SettingsPalette::secondaryTint(), 28), 0,
                   Qt::AlignVCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(new SettingsText("Berthkeep", SettingsTypography::bodyMedium(),
                                      SettingsText::Style::primary, 1));
    m_versionLabel = new QLabel(appVersionDisplayText);
    m_versionLabel->setFont(SettingsTypography::caption());
    m_versionLabel->setForegroundRole(QPalette::PlaceholderText);
    m_versionLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    texts->addWidget(m_versionLabel);
    row->addLayout(texts, 1);
    row->addSpacing(12);
    if (isUpdateCheckAvailable) {
        m_checkForUpdatesButton = new QPushButton(QString::fromUtf8("Check for Updates\u2026"));
        connect(m_checkForUpdatesButton, &QPushButton::clicked, this,
                [action = std::move(onCheckForUpdates)] {
                    if (action) {
                        action();
                    }
                });
        row->addWidget(m_checkForUpdatesButton, 0, Qt::AlignVCenter);
    }
    contentLayout()->addWidget(holder);
}

} // namespace berthkeep
