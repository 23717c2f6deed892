#include "Berthkeep/Settings/SettingsToggleRow.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "Berthkeep/Settings/SettingsPalette.hpp"
#include "Berthkeep/Settings/SettingsSwitch.hpp"
#include "Berthkeep/Settings/SettingsSymbolBadge.hpp"
#include "Berthkeep/Settings/SettingsText.hpp"
#include "Berthkeep/Settings/SettingsTypography.hpp"

namespace berthkeep {

SettingsToggleRow::SettingsToggleRow(const QString& label, const QString& detail,
                                     const QString& systemImage, Binding binding, QWidget* parent)
    : QWidget(parent)
    , m_label(label)
    , m_binding(std::move(binding))
    , m_switch(new SettingsSwitch) {
    setMinimumHeight(44);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 6, 16, 6);
    row->setSpacing(12);
    row->addWidget(new SettingsSymbolBadge(systemImage, SettingsPalette::secondaryTint(), 28), 0,
                   Qt::AlignVCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(
        new SettingsText(label, SettingsTypography::body(), SettingsText::Style::primary, 1));
    texts->addWidget(
        new SettingsText(detail, SettingsTypography::caption(), SettingsText::Style::secondary, 2));
    row->addLayout(texts, 1);
    row->addWidget(m_switch, 0, Qt::AlignVCenter);
    m_switch->setAccessibleName(label);
    connect(m_switch, &SettingsSwitch::clicked, this, [this] {
        m_binding.write(!m_binding.read());
        refresh();
    });
    refresh();
}

void SettingsToggleRow::refresh() {
    m_switch->setChecked(m_binding.read());
}

} // namespace berthkeep
