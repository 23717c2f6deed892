#include "Berthkeep/MenuBar/MenuBarStatusLabelImage.hpp"

#include "Berthkeep/MenuBar/MenuBarStatusIcon.hpp"
#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "BerthkeepShared/BerthkeepStartupAudit.hpp"

namespace berthkeep {

namespace {

void auditStatusItem(const MenubarViewState& state, const std::string& message) {
    BerthkeepStartupAudit::debug("BerthkeepApp", "menuBarStatusLabel", std::nullopt,
                                 BerthkeepAuditWorkPhase::appLaunch, message, std::nullopt,
                                 {{"global_state", state.globalState.description()}});
}

} // namespace

MenuBarStatusLabelImage::MenuBarStatusLabelImage(qreal size)
    : m_size(size) {}

QIcon MenuBarStatusLabelImage::image(const MenubarViewState& state,
                                     BerthkeepMenubarIcon::ColorScheme colorScheme) {
    if (!m_hasLoggedInitialRender) {
        m_hasLoggedInitialRender = true;
        auditStatusItem(state, "Assigned initial menu bar status item image");
    }
    return MenuBarStatusIcon::image(state, m_size, colorScheme,
                                    BerthkeepRuntimeIdentity::currentBundleIdentifier());
}

void MenuBarStatusLabelImage::itemBecameVisible(const MenubarViewState& state) const {
    auditStatusItem(state, "Menu bar status item became visible");
}

} // namespace berthkeep
