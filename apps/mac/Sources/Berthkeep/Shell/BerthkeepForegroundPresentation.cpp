#include "Berthkeep/Shell/BerthkeepForegroundPresentation.hpp"

#include <utility>

namespace berthkeep {

void BerthkeepForegroundPresentation::end() {
    // Cleared before it runs, so a handler that reaches back here ends nothing twice.
    auto handler = std::exchange(m_endHandler, nullptr);
    if (handler) {
        handler();
    }
}

} // namespace berthkeep
