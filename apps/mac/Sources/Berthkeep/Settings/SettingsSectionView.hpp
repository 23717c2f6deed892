#pragma once

#include <QColor>
#include <QString>
#include <QVBoxLayout>

#include "Berthkeep/Settings/SettingsCardFrame.hpp"

namespace berthkeep {

// A card of the settings page: a header with a badge, the title and a summary of
// at most two lines, a divider, then the card's rows added to contentLayout().
class SettingsSectionView : public SettingsCardFrame {
public:
    SettingsSectionView(const QString& title, const QString& systemImage, const QString& summary,
                        const QColor& tint, QWidget* parent = nullptr);

    QVBoxLayout* contentLayout() const { return m_contentLayout; }
    const QString& title() const { return m_title; }

private:
    QString m_title;
    QVBoxLayout* m_contentLayout;
};

} // namespace berthkeep
