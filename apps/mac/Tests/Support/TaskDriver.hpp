#pragma once

#include <chrono>
#include <concepts>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <type_traits>

#include <QCoroTask>

#include "CoroutineAssertions.hpp"

class QEventLoop;

namespace berthkeep::test {

// How long runTask waits before it calls a task hung.
inline constexpr std::chrono::milliseconds defaultTaskWatchdog{5000};

class TaskWatchdogExpired : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace detail {

struct DriverLoop {
    bool finished = false;
    QEventLoop* loop = nullptr; // set only while the loop runs
};

// Runs the main event loop until state->finished or the watchdog; true when finished.
bool spinUntilFinished(const std::shared_ptr<DriverLoop>& state, std::chrono::milliseconds watchdog);
void reportWatchdog(std::chrono::milliseconds watchdog);
void markFinished(DriverLoop& state);

template <typename T>
struct DriverState : DriverLoop {
    std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
    std::exception_ptr error;
};

template <typename T>
QCoro::Task<void> drive(QCoro::Task<T> task, std::shared_ptr<DriverState<T>> state) {
    try {
        if constexpr (std::is_void_v<T>) {
            co_await task;
            state->value = true;
        } else {
            state->value.emplace(co_await task);
        }
    } catch (...) {
        state->error = std::current_exception();
    }
    markFinished(*state);
}

} // namespace detail

// Runs a task to its end on a local event loop (queued work, timers and
// cross-thread hand-offs all proceed) and returns its value or rethrows its
// exception. Instead of QCoro::waitFor, which hangs when the task throws.
// A task still running after `watchdog` is a test failure: reported, then
// TaskWatchdogExpired is thrown (the task is left suspended).
template <typename T>
T runTask(QCoro::Task<T> task, std::chrono::milliseconds watchdog = defaultTaskWatchdog) {
    auto state = std::make_shared<detail::DriverState<T>>();
    detail::drive<T>(std::move(task), state);
    if (!detail::spinUntilFinished(state, watchdog)) {
        detail::reportWatchdog(watchdog);
        throw TaskWatchdogExpired("task still running after the watchdog");
    }
    if (state->error) {
        std::rethrow_exception(state->error);
    }
    if constexpr (!std::is_void_v<T>) {
        return std::move(*state->value);
    }
}

// The same for a callable returning the task (started inside this call).
template <typename Factory>
    requires std::invocable<Factory&>
auto runTask(Factory factory, std::chrono::milliseconds watchdog = defaultTaskWatchdog) {
    return runTask(std::invoke(factory), watchdog);
}

// Runs the event loop until no queued work is left (bounded), e.g. to let tasks
// started with startMainActorTask take their first step. Timers that are not
// yet due do not count.
void processQueuedEvents();

// Runs the event loop for a stretch of real time.
void processEventsFor(std::chrono::milliseconds duration);

// Runs the event loop until `condition` holds or `timeout` passes; returns the
// condition's last value.
bool processEventsUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = defaultTaskWatchdog);

// The same with the limit in milliseconds, as the tests of child processes give it.
inline bool spinUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    return processEventsUntil(condition, std::chrono::milliseconds(timeoutMs));
}

} // namespace berthkeep::test
