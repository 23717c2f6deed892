#pragma once

#include <QPixmap>
#include <QWidget>

#include <optional>
#include <string>

#include "Berthkeep/Domain/MenubarViewState.hpp"

class QLabel;

namespace berthkeep {

class MenuBarText;

// The menu's header: the status icon beside the overall safety line, the
// supporting line and, when the store words one, the scope note.
class SafetySummarySection final : public QWidget {
public:
    SafetySummarySection(const MenubarViewState& state, std::optional<std::string> scopeNote,
                         QWidget* parent = nullptr);

    // "Ejecting drives…" while rows eject outside a running attempt, else the
    // global state's own header line.
    static std::string headerText(const MenubarViewState& state);

    // Shows another state in place.
    void setState(const MenubarViewState& state, const std::optional<std::string>& scopeNote);

    // The status icon, drawn in a headerIconSize square; scaled to fit.
    void setStatusIcon(const QPixmap& icon);

private:
    QLabel* m_icon;
    MenuBarText* m_header;
    MenuBarText* m_supporting;
    MenuBarText* m_scopeNote;
};

} // namespace berthkeep
