#pragma once

#include "Berthkeep/Domain/TransientActionStatus.hpp"

namespace berthkeep {

// Shows the transient status panel. Main thread only; returns at once. A new
// status replaces whatever the panel showed; a result panel hides itself after a
// while, a progress panel stays until replaced or dismissed.
class TransientActionStatusPresenting {
public:
    virtual ~TransientActionStatusPresenting() = default;

    virtual void present(const TransientActionStatus& status) = 0;
    // Takes the panel down at once: for a progress panel whose work ended without
    // a result to show.
    virtual void dismiss() = 0;
};

} // namespace berthkeep
