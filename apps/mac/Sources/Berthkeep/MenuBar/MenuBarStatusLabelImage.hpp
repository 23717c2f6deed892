#pragma once

#include <string>

#include <QIcon>

#include "Berthkeep/Domain/MenubarViewState.hpp"
#include "Berthkeep/MenuBar/BerthkeepMenubarIcon.hpp"

namespace berthkeep {

// The tray item's picture: the status icon for the current state at 18 points
// by default. It writes two debug audit lines (component "BerthkeepApp"): one when
// the first image is handed out, one each time the item is shown. One instance
// per tray item; a new item logs its first image again. Main thread only.
class MenuBarStatusLabelImage {
public:
    static constexpr qreal defaultSize = 18;

    explicit MenuBarStatusLabelImage(qreal size = defaultSize);

    // For QSystemTrayIcon::setIcon on every state change.
    QIcon image(const MenubarViewState& state, BerthkeepMenubarIcon::ColorScheme colorScheme);
    // Call when the tray item becomes visible.
    void itemBecameVisible(const MenubarViewState& state) const;

    bool hasLoggedInitialRender() const { return m_hasLoggedInitialRender; }

private:
    qreal m_size;
    bool m_hasLoggedInitialRender = false;
};

} // namespace berthkeep
