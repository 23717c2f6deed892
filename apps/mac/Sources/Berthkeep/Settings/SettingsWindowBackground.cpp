#include "Berthkeep/Settings/SettingsWindowBackground.hpp"

#include <QLinearGradient>
#include <QPainter>

#include "Berthkeep/MenuBar/MenuBarPalette.hpp"
#include "Berthkeep/Settings/SettingsPalette.hpp"

namespace berthkeep {

SettingsWindowBackground::SettingsWindowBackground(QWidget* parent)
    : QWidget(parent) {}

void SettingsWindowBackground::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    QLinearGradient wash(rect().topLeft(), rect().bottomRight());
    wash.setColorAt(0, MenuBarPalette::withOpacity(SettingsPalette::accent(palette()), 0.08));
    wash.setColorAt(0.5, Qt::transparent);
    wash.setColorAt(1, MenuBarPalette::withOpacity(palette().color(QPalette::Base), 0.3));
    painter.fillRect(rect(), wash);
}

} // namespace berthkeep
