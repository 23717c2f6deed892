#include "Berthkeep/MenuBar/BerthkeepMenubarBaseTint.hpp"

namespace berthkeep {

QColor BerthkeepMenubarBaseTint::color() {
    return QColor::fromRgbF(0.88f, 0.4f, 0.02f, 1.0f);
}

} // namespace berthkeep
