#include "Berthkeep/MenuBar/SafetySummarySection.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "Berthkeep/MenuBar/MenuBarLayout.hpp"
#include "Berthkeep/MenuBar/MenuBarPalette.hpp"
#include "Berthkeep/MenuBar/MenuBarStatusIcon.hpp"
#include "Berthkeep/MenuBar/MenuBarText.hpp"
#include "Berthkeep/MenuBar/MenuBarTypography.hpp"

namespace berthkeep {

namespace {
constexpr int kIconTopInset = 1;
constexpr int kIconSpacing = 10;
constexpr int kTextSpacing = 3;
constexpr int kScopeNoteTopInset = 2;
constexpr int kHeaderMaxLines = 2;
} // namespace

std::string SafetySummarySection::headerText(const MenubarViewState& state) {
    if (state.globalState.kind() != GlobalSafetyState::Kind::working &&
        state.ejectingRowCount() > 0) {
        return "Ejecting drives\u2026";
    }
    return state.globalState.headerCopy();
}

SafetySummarySection::SafetySummarySection(const MenubarViewState& state,
                                           std::optional<std::string> scopeNote, QWidget* parent)
    : QWidget(parent) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(MenuBarLayout::headerSpacing);
    auto* row = new QHBoxLayout;
    row->setSpacing(kIconSpacing);
    outer->addLayout(row);

    auto* iconColumn = new QVBoxLayout;
    iconColumn->setContentsMargins(0, kIconTopInset, 0, 0);
    m_icon = new MenuBarStatusIcon(state, MenuBarLayout::headerIconSize, this);
    m_icon->setObjectName("statusIcon");
    iconColumn->addWidget(m_icon);
    iconColumn->addStretch();
    row->addLayout(iconColumn);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(kTextSpacing);
    m_header = new MenuBarText({}, MenuBarTypography::header(), &MenuBarPalette::primary,
                               kHeaderMaxLines, this);
    texts->addWidget(m_header);
    m_supporting = new MenuBarText({}, MenuBarTypography::headerSupporting(),
                                   &MenuBarPalette::summarySupporting, 0, this);
    texts->addWidget(m_supporting);
    m_scopeNote = new MenuBarText({}, MenuBarTypography::summaryMeta(),
                                  &MenuBarPalette::summaryMeta, 0, this);
    m_scopeNote->setContentsMargins(0, kScopeNoteTopInset, 0, 0);
    texts->addWidget(m_scopeNote);
    row->addLayout(texts, 1);
    setState(state, scopeNote);
}

void SafetySummarySection::setState(const MenubarViewState& state,
                                    const std::optional<std::string>& scopeNote) {
    m_icon->setState(state);
    m_header->setText(QString::fromStdString(headerText(state)));
    m_supporting->setText(QString::fromStdString(state.summarySupportingCopy()));
    m_scopeNote->setText(QString::fromStdString(scopeNote.value_or(std::string())));
    m_scopeNote->setVisible(scopeNote.has_value());
}

} // namespace berthkeep
