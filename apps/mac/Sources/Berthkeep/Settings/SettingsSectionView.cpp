#include "Berthkeep/Settings/SettingsSectionView.hpp"

#include <QHBoxLayout>

#include "Berthkeep/Settings/SettingsDivider.hpp"
#include "Berthkeep/Settings/SettingsSymbolBadge.hpp"
#include "Berthkeep/Settings/SettingsText.hpp"
#include "Berthkeep/Settings/SettingsTypography.hpp"

namespace berthkeep {

SettingsSectionView::SettingsSectionView(const QString& title, const QString& systemImage,
                                         const QString& summary, const QColor& tint,
                                         QWidget* parent)
    : SettingsCardFrame(parent)
    , m_title(title) {
    auto* card = new QVBoxLayout(this);
    card->setContentsMargins(0, 0, 0, 0);
    card->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(16, 13, 16, 13);
    header->setSpacing(12);
    header->addWidget(new SettingsSymbolBadge(systemImage, tint, 30), 0, Qt::AlignVCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(
        new SettingsText(title, SettingsTypography::headline(), SettingsText::Style::primary, 1));
    texts->addWidget(new SettingsText(summary, SettingsTypography::caption(),
                                      SettingsText::Style::secondary, 2));
    header->addLayout(texts, 1);
    header->addSpacing(12);
    card->addLayout(header);
    card->addWidget(new SettingsDivider);

    m_contentLayout = new QVBoxLayout;
    m_contentLayout->setContentsMargins(0, 0, 0, 0);
    m_contentLayout->setSpacing(0);
    card->addLayout(m_contentLayout);
}

} // namespace berthkeep
