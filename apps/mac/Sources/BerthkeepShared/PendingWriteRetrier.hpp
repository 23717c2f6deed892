#pragma once

#include <chrono>
#include <memory>

#include "BerthkeepShared/Clock.hpp"

namespace berthkeep {

// Writes again what a full disk refused. Once any AtomicFileWriter keeps the
// bytes of a failed write, every pending write is tried after `firstDelay`, then
// at doubling delays up to `maximumDelay`, until none is left; then it waits for
// the next failure. Lives on the main thread, where the retries run; failures may
// be reported from any thread. One per process (it is the writers' one observer).
class PendingWriteRetrier {
public:
    struct Timing {
        Clock::Duration firstDelay = std::chrono::seconds(5);
        Clock::Duration maximumDelay = std::chrono::minutes(5);
    };

    // With the default timing: 5 s, then up to 5 min.
    explicit PendingWriteRetrier(std::shared_ptr<Clock> clock);
    PendingWriteRetrier(std::shared_ptr<Clock> clock, Timing timing);
    // Stops retrying; what is still pending stays with its writer.
    ~PendingWriteRetrier();

    PendingWriteRetrier(const PendingWriteRetrier&) = delete;
    PendingWriteRetrier& operator=(const PendingWriteRetrier&) = delete;

    bool isRetrying() const;

private:
    struct State;

    static QCoro::Task<void> retryLoop(std::shared_ptr<State> state);

    std::shared_ptr<State> m_state;
};

} // namespace berthkeep
