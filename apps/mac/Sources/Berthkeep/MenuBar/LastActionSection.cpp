#include "Berthkeep/MenuBar/LastActionSection.hpp"

#include <QVBoxLayout>

#include "Berthkeep/MenuBar/MenuBarLayout.hpp"
#include "Berthkeep/MenuBar/MenuBarPalette.hpp"
#include "Berthkeep/MenuBar/MenuBarText.hpp"
#include "Berthkeep/MenuBar/MenuBarTypography.hpp"

namespace berthkeep {

LastActionSection::LastActionSection(const std::string& text, QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(MenuBarLayout::lastActionHorizontalPadding, 0, 0, 0);
    m_text = new MenuBarText("Last attempt: " + QString::fromStdString(text),
                             MenuBarTypography::lastAction(), &MenuBarPalette::lastAction, 0, this);
    layout->addWidget(m_text);
}

void LastActionSection::setText(const std::string& text) {
    m_text->setText("Last attempt: " + QString::fromStdString(text));
}

} // namespace berthkeep
