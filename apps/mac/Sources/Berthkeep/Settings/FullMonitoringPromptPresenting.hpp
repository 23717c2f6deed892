#pragma once

#include <functional>

namespace berthkeep {

// Shows the Full Monitoring enable prompt. Main thread only. Each callback is
// the answer to one button; the presenter calls at most one of them per prompt.
class FullMonitoringPromptPresenting {
public:
    using Action = std::function<void()>;

    virtual ~FullMonitoringPromptPresenting() = default;

    // An open prompt is replaced, so at most one exists.
    virtual void present(Action onContinue, Action onNotNow) = 0;
    virtual void dismiss() = 0;
};

} // namespace berthkeep
