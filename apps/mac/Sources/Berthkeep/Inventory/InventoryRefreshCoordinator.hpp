#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QCoroTask>

#include "BerthkeepShared/BerthkeepLogger.hpp"
#include "BerthkeepShared/CancelToken.hpp"
#include "BerthkeepShared/Clock.hpp"
#include "BerthkeepShared/SharedTask.hpp"

namespace berthkeep {

// Turns bursts of refresh requests into at most one refresh at a time. A disk
// event waits a moment before its refresh starts, so that the disks of one
// attach or detach settle; requests during that wait are absorbed; requests
// while the refresh runs make exactly one more run after it, for the last
// reason. Main thread only.
class InventoryRefreshCoordinator {
public:
    using Action = std::function<QCoro::Task<void>()>;

    static constexpr const char* diskArbitrationChangeReason = "disk_arbitration_change";
    static constexpr const char* driveExclusionToggleReason = "drive_exclusion_toggle";
    static constexpr std::chrono::milliseconds diskArbitrationDebounce{250};

    explicit InventoryRefreshCoordinator(std::shared_ptr<Clock> clock = LiveClock::shared());
    // A refresh still waiting out its debounce is dropped; one already running
    // finishes, but nothing is re-run after it.
    ~InventoryRefreshCoordinator();

    InventoryRefreshCoordinator(const InventoryRefreshCoordinator&) = delete;
    InventoryRefreshCoordinator& operator=(const InventoryRefreshCoordinator&) = delete;

    // `perform` is the refresh; the coordinator keeps it only until it has run.
    void schedule(const std::string& reason, const BerthkeepLogger& logger, Action perform);

    // The wait before a request's refresh: the debounce for a disk event (exact
    // reason), none for anything else.
    static Clock::Duration debounce(const std::string& reason);

    bool hasScheduledTask() const { return m_state->scheduledTask.has_value(); }
    bool isRefreshing() const { return m_state->refreshStarted; }
    const std::optional<std::string>& pendingReason() const { return m_state->pendingReason; }

private:
    struct State {
        std::shared_ptr<Clock> clock;
        std::optional<SharedTask<void>> scheduledTask;
        std::shared_ptr<CancelToken> scheduledToken;
        bool refreshStarted = false;
        std::optional<std::string> pendingReason;
    };

    static void enqueue(const std::shared_ptr<State>& state, const std::string& reason,
                        const BerthkeepLogger& logger, Action perform, Clock::Duration debounce);
    static QCoro::Task<void> runScheduled(std::weak_ptr<State> state, BerthkeepLogger logger,
                                          Action perform, Clock::TimePoint startAt,
                                          std::shared_ptr<CancelToken> token);
    static QCoro::Task<void> finishScheduledRefresh(std::shared_ptr<State> state,
                                                    BerthkeepLogger logger, Action perform);

    std::shared_ptr<State> m_state;
};

} // namespace berthkeep
