#pragma once

#include <exception>
#include <mutex>
#include <optional>

#include "BerthkeepShared/Completion.hpp"

namespace berthkeep {

// The one-shot hand-off between a file-manager unmount, whose completion comes on
// any thread, and the main-thread caller, who may cancel first. Whichever of
// complete() and cancelIfNeeded() comes first settles the waiter; everything
// later is ignored, and an install() after a cancel fails at once.
class UnmountVolumeContinuationState final {
public:
    void install(Completion<void> continuation);
    // A null error is success.
    void complete(std::exception_ptr error);
    void cancelIfNeeded();

private:
    std::mutex m_lock;
    std::optional<Completion<void>> m_continuation;
    bool m_isFinished = false;
};

} // namespace berthkeep
