#pragma once

#include <QWidget>

#include <optional>
#include <string>

#include "Berthkeep/Domain/MenubarViewState.hpp"

namespace berthkeep {

class MenuBarStatusIcon;
class MenuBarText;

// The menu's header: the status icon beside the overall safety line, the
// supporting line and, when the store words one, the scope note. The icon
// paints itself in this widget's palette at the pixel ratio it is drawn at.
class SafetySummarySection final : public QWidget {
public:
    SafetySummarySection(const MenubarViewState& state, std::optional<std::string> scopeNote,
                         QWidget* parent = nullptr);

    // "Ejecting drives…" while rows eject outside a running attempt, else the
    // global state's own header line.
    static std::string headerText(const MenubarViewState& state);

    // Shows another state in place.
    void setState(const MenubarViewState& state, const std::optional<std::string>& scopeNote);

private:
    MenuBarStatusIcon* m_icon;
    MenuBarText* m_header;
    MenuBarText* m_supporting;
    MenuBarText* m_scopeNote;
};

} // namespace berthkeep
