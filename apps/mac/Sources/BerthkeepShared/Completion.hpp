#pragma once

#include <coroutine>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "BerthkeepShared/MainThread.hpp"

namespace berthkeep {

// A one-shot result that coroutines on the main thread can co_await: the bridge
// from callbacks, timers and other threads into async code (a continuation).
//
// - Copies share one state. The first resolve()/fail() settles it; later calls
//   are ignored and return false.
// - resolve()/fail() may be called on any thread. Waiting coroutines resume on
//   the main thread: at once (inside the call) when settled on the main thread,
//   otherwise on the next turn of the main loop.
// - Any number of coroutines may wait; each gets a copy of the value (a move-only
//   value can be awaited once) or the exception rethrown.
// - A Completion that is never settled leaves its waiters suspended for good:
//   whoever holds the producing side must settle it on every path.
template <typename T>
class Completion {
public:
    using Value = std::conditional_t<std::is_void_v<T>, std::monostate, T>;

    Completion() : m_state(std::make_shared<State>()) {}

    template <typename U = T>
        requires(!std::is_void_v<U>)
    bool resolve(Value value) const {
        return settle(std::move(value), nullptr);
    }

    template <typename U = T>
        requires std::is_void_v<U>
    bool resolve() const {
        return settle(std::monostate{}, nullptr);
    }

    bool fail(std::exception_ptr error) const { return settle(std::nullopt, std::move(error)); }

    bool isDone() const {
        std::lock_guard lock(m_state->mutex);
        return m_state->done;
    }

    // Coroutines suspended on this completion right now.
    std::size_t waiterCount() const {
        std::lock_guard lock(m_state->mutex);
        return m_state->waiters.size();
    }

    auto operator co_await() const noexcept { return Awaiter{m_state}; }

private:
    struct State {
        std::mutex mutex;
        bool done = false;
        std::optional<Value> value;
        std::exception_ptr error;
        std::vector<std::coroutine_handle<>> waiters;
    };

    struct Awaiter {
        std::shared_ptr<State> state;

        bool await_ready() const {
            std::lock_guard lock(state->mutex);
            return state->done;
        }

        bool await_suspend(std::coroutine_handle<> waiter) const {
            std::lock_guard lock(state->mutex);
            if (state->done) {
                return false;
            }
            state->waiters.push_back(waiter);
            return true;
        }

        T await_resume() const {
            std::lock_guard lock(state->mutex);
            if (state->error) {
                std::rethrow_exception(state->error);
            }
            if constexpr (std::is_void_v<T>) {
                return;
            } else if constexpr (std::is_copy_constructible_v<T>) {
                return *state->value;
            } else {
                return std::move(*state->value);
            }
        }
    };

    bool settle(std::optional<Value> value, std::exception_ptr error) const {
        // A waiter may destroy this Completion when it resumes; keep the state.
        const auto keep = m_state;
        std::vector<std::coroutine_handle<>> waiters;
        {
            std::lock_guard lock(m_state->mutex);
            if (m_state->done) {
                return false;
            }
            m_state->done = true;
            m_state->value = std::move(value);
            m_state->error = std::move(error);
            waiters.swap(m_state->waiters);
        }
        if (waiters.empty()) {
            return true;
        }
        if (isMainThread()) {
            for (auto waiter : waiters) {
                waiter.resume();
            }
        } else {
            postToMainThread([waiters, keep] {
                for (auto waiter : waiters) {
                    waiter.resume();
                }
            });
        }
        return true;
    }

    std::shared_ptr<State> m_state;
};

} // namespace berthkeep
