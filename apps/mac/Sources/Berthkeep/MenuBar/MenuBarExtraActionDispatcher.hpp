#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "BerthkeepShared/Clock.hpp"

namespace berthkeep {

// A menu click closes the menu panel first and runs its action afterwards, so
// the action (an eject, a window) never races the panel's own close. Both steps
// are replaceable. Main thread only.
class MenuBarExtraActionDispatcher {
public:
    using Action = std::function<void()>;

    static constexpr std::chrono::milliseconds defaultActionDelay{150};

    // Null steps take their defaults: close the active window (nothing when
    // there is none), and run the action the delay later on the live clock.
    explicit MenuBarExtraActionDispatcher(std::function<void()> dismissMenuBarExtraWindow = {},
                                          std::function<void(Action)> scheduleAction = {});

    // Runs the action `delay` after the call, on the main loop; a sleep that ends
    // early (cancelled) still runs it. Every call gets its own wait: nothing is
    // merged or dropped.
    static std::function<void(Action)> delayedScheduler(std::shared_ptr<Clock> clock,
                                                        Clock::Duration delay = defaultActionDelay);
    static void dismissActiveWindow();

    // Closes the panel only, for the calls that do not wait for the delay.
    void dismiss() const { m_dismissMenuBarExtraWindow(); }
    // Closes the panel, then schedules the action; returns at once.
    void dispatch(Action action) const;

private:
    std::function<void()> m_dismissMenuBarExtraWindow;
    std::function<void(Action)> m_scheduleAction;
};

} // namespace berthkeep
