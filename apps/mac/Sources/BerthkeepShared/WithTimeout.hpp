#pragma once

#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

#include <QCoroTask>

#include "BerthkeepShared/CancelToken.hpp"
#include "BerthkeepShared/Clock.hpp"
#include "BerthkeepShared/Completion.hpp"

namespace berthkeep {

// The value withTimeout gives for an operation returning T: std::optional<T>
// (empty when the time ran out); for void operations a bool (true when the
// operation finished in time).
template <typename T>
using TimeoutResult = std::conditional_t<std::is_void_v<T>, bool, std::optional<T>>;

namespace detail {

template <typename>
struct TimeoutTaskValue;
template <typename T>
struct TimeoutTaskValue<QCoro::Task<T>> {
    using type = T;
};

template <typename T>
QCoro::Task<void> raceOperation(QCoro::Task<T> task, Completion<T> done, Completion<bool> firstIsOperation) {
    try {
        if constexpr (std::is_void_v<T>) {
            co_await task;
            done.resolve();
        } else {
            done.resolve(co_await task);
        }
    } catch (...) {
        done.fail(std::current_exception());
    }
    firstIsOperation.resolve(true);
}

inline QCoro::Task<void> raceTimer(QCoro::Task<bool> sleep, Completion<void> done, Completion<bool> firstIsOperation) {
    bool elapsed = false;
    try {
        elapsed = co_await sleep;
    } catch (...) {
    }
    done.resolve();
    // A sleep cut short (the operation won, or the caller cancelled) claims nothing.
    if (elapsed) {
        firstIsOperation.resolve(false);
    }
}

// Cancels the given tokens when the parent is cancelled, while it lives.
class CancelForwarding {
public:
    CancelForwarding(std::shared_ptr<CancelToken> parent, std::shared_ptr<CancelToken> a,
                     std::shared_ptr<CancelToken> b)
        : m_parent(std::move(parent)) {
        if (m_parent) {
            m_id = m_parent->onCancel([a, b] {
                a->cancel();
                b->cancel();
            });
        }
    }
    ~CancelForwarding() {
        if (m_parent) {
            m_parent->removeCallback(m_id);
        }
    }
    CancelForwarding(const CancelForwarding&) = delete;
    CancelForwarding& operator=(const CancelForwarding&) = delete;

private:
    std::shared_ptr<CancelToken> m_parent;
    CancelToken::CallbackId m_id = 0;
};

} // namespace detail

// Races `operation` against `timeout` on `clock`. `operation` is a callable taking
// the std::shared_ptr<CancelToken> it must honour and returning QCoro::Task<T>.
//
// Both sides have always ended when this returns: the loser is cancelled through
// its token and awaited (an operation that ignores its token is waited for).
// - operation first: its value (or its exception, rethrown);
// - time first: empty / false; what the cancelled operation then returns or
//   throws is dropped.
// Cancelling `cancel` cancels the operation and the timer; the operation's own
// outcome is then returned as above.
//
// g++ 12: a lambda, a braced temporary (`T{...}`) or an object made by `?:` in
// the same full-expression as co_await is destroyed twice. Bind it to a local
// first:
//     auto operation = [client](std::shared_ptr<CancelToken> token) { return client->fetch(token); };
//     const auto reply = co_await withTimeout(operation, 5s, m_clock);
template <typename Operation>
auto withTimeout(Operation operation, Clock::Duration timeout, std::shared_ptr<Clock> clock,
                 std::shared_ptr<CancelToken> cancel = {})
    -> QCoro::Task<TimeoutResult<typename detail::TimeoutTaskValue<
        std::invoke_result_t<Operation&, std::shared_ptr<CancelToken>>>::type>> {
    using T = typename detail::TimeoutTaskValue<std::invoke_result_t<Operation&, std::shared_ptr<CancelToken>>>::type;

    const auto operationToken = CancelToken::make();
    const auto timerToken = CancelToken::make();
    const detail::CancelForwarding forwarding(cancel, operationToken, timerToken);

    Completion<T> operationDone;
    Completion<void> timerDone;
    Completion<bool> firstIsOperation;
    detail::raceOperation<T>(operation(operationToken), operationDone, firstIsOperation);
    detail::raceTimer(clock->sleep(timeout, timerToken), timerDone, firstIsOperation);

    const bool operationWon = co_await firstIsOperation;
    if (operationWon) {
        timerToken->cancel();
        co_await timerDone;
        if constexpr (std::is_void_v<T>) {
            co_await operationDone;
            co_return true;
        } else {
            co_return TimeoutResult<T>(co_await operationDone);
        }
    }
    operationToken->cancel();
    try {
        co_await operationDone;
    } catch (...) {
    }
    co_return TimeoutResult<T>{};
}

} // namespace berthkeep
