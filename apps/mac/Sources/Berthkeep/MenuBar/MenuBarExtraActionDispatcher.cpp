#include "Berthkeep/MenuBar/MenuBarExtraActionDispatcher.hpp"

#include <QApplication>
#include <QWidget>

#include "BerthkeepShared/MainActorTask.hpp"

namespace berthkeep {

namespace {

QCoro::Task<void> runAfter(std::shared_ptr<Clock> clock, Clock::Duration delay,
                           MenuBarExtraActionDispatcher::Action action) {
    co_await clock->sleep(delay);
    if (action) {
        action();
    }
}

} // namespace

MenuBarExtraActionDispatcher::MenuBarExtraActionDispatcher(
    std::function<void()> dismissMenuBarExtraWindow, std::function<void(Action)> scheduleAction)
    : m_dismissMenuBarExtraWindow(dismissMenuBarExtraWindow ? std::move(dismissMenuBarExtraWindow)
                                                            : dismissActiveWindow)
    , m_scheduleAction(scheduleAction ? std::move(scheduleAction)
                                      : delayedScheduler(LiveClock::shared())) {}

std::function<void(MenuBarExtraActionDispatcher::Action)>
MenuBarExtraActionDispatcher::delayedScheduler(std::shared_ptr<Clock> clock,
                                               Clock::Duration delay) {
    return [clock = std::move(clock), delay](Action action) {
        startMainActorTask([clock, delay, action] { return runAfter(clock, delay, action); },
                           "menu action");
    };
}

void MenuBarExtraActionDispatcher::dismissActiveWindow() {
    if (QWidget* window = QApplication::activeWindow()) {
        window->close();
    }
}

void MenuBarExtraActionDispatcher::dispatch(Action action) const {
    m_dismissMenuBarExtraWindow();
    m_scheduleAction(std::move(action));
}

} // namespace berthkeep
