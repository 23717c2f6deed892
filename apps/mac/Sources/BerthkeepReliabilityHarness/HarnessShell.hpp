#pragma once

#include <memory>

#include "Berthkeep/Store/BerthkeepStore.hpp"
#include "BerthkeepReliabilityHarness/MenuContentFactory.hpp"

namespace berthkeep {

// What the harness program takes from the product's composition root: the
// same store and menu-bar extra as the product (so a click in the harness
// window and one in the menu act on one state) and its settings window,
// which here offers no update check. Lives until the process ends.
class HarnessShell {
public:
    virtual ~HarnessShell() = default;
    virtual BerthkeepStore& store() = 0;
    virtual void openSettings() = 0;
};

// Builds the composition root, puts up the menu-bar extra and returns the
// shell. Defined beside the composition root (HarnessShell.cpp).
std::unique_ptr<HarnessShell> makeHarnessShell();

// The product's menu content view. Defined beside the composition root.
MenuContentFactory productMenuContentFactory();

} // namespace berthkeep
