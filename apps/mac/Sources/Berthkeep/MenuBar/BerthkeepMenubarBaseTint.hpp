#pragma once

#include <QColor>

namespace berthkeep {

// The glyph colour of the coloured (non-mask) menu-bar image, which only the test
// bundle identifier gets: a test build is told apart from a shipped one at a glance.
class BerthkeepMenubarBaseTint {
public:
    BerthkeepMenubarBaseTint() = delete;

    static QColor color();
};

} // namespace berthkeep
