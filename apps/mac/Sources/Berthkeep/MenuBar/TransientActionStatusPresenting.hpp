#pragma once

#include "Berthkeep/Domain/TransientActionStatus.hpp"

namespace berthkeep {

// Shows the transient status panel. Main thread only; returns at once. A new
// status replaces whatever the panel showed; the panel hides itself after a while.
class TransientActionStatusPresenting {
public:
    virtual ~TransientActionStatusPresenting() = default;

    virtual void present(const TransientActionStatus& status) = 0;
};

} // namespace berthkeep
