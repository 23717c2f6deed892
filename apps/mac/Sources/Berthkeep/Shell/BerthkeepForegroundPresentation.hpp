#pragma once

#include <functional>

namespace berthkeep {

// One window's claim on the regular activation policy. Ending it, by end() or by
// releasing the token, runs its end handler once. Main thread only, so a token
// is released on the main thread too.
class BerthkeepForegroundPresentation final {
public:
    explicit BerthkeepForegroundPresentation(std::function<void()> endHandler)
        : m_endHandler(std::move(endHandler)) {}
    ~BerthkeepForegroundPresentation() { end(); }

    BerthkeepForegroundPresentation(const BerthkeepForegroundPresentation&) = delete;
    BerthkeepForegroundPresentation& operator=(const BerthkeepForegroundPresentation&) = delete;

    // Only the first call has an effect.
    void end();

private:
    std::function<void()> m_endHandler;
};

} // namespace berthkeep
