#pragma once

#include <exception>
#include <optional>
#include <utility>

#include <QCoroTask>

#include "BerthkeepShared/Completion.hpp"

namespace berthkeep {

// Work that several callers join: one producer, any number of awaiters, each of
// which gets the result (a copy) or the producer's exception. Copies share the
// same run. Typical use, a refresh that callers join while it runs:
//
//     if (!m_refresh.isValid() || m_refresh.isDone()) {
//         m_refresh = SharedTask<Snapshot>(refreshOnce(m_services));
//     }
//     const Snapshot snapshot = co_await m_refresh;
//
// Main thread only. The producer keeps running when every handle is dropped.
template <typename T>
class SharedTask {
public:
    SharedTask() = default; // no run; isValid() is false and awaiting it is a bug

    // Drives the (already started) producer to its end.
    explicit SharedTask(QCoro::Task<T> producer) : m_completion(Completion<T>()) {
        drive(std::move(producer), *m_completion);
    }

    // A run whose producer settles the completion itself.
    explicit SharedTask(Completion<T> completion) : m_completion(std::move(completion)) {}

    bool isValid() const { return m_completion.has_value(); }
    bool isDone() const { return m_completion && m_completion->isDone(); }

    auto operator co_await() const noexcept { return m_completion->operator co_await(); }

    // The result as a QCoro::Task of its own, for code that wants one.
    QCoro::Task<T> task() const { return awaitCopy(*this); }

private:
    static QCoro::Task<T> awaitCopy(SharedTask<T> shared) {
        if constexpr (std::is_void_v<T>) {
            co_await shared;
        } else {
            co_return co_await shared;
        }
    }

    static QCoro::Task<void> drive(QCoro::Task<T> producer, Completion<T> completion) {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await producer;
                completion.resolve();
            } else {
                completion.resolve(co_await producer);
            }
        } catch (...) {
            completion.fail(std::current_exception());
        }
    }

    std::optional<Completion<T>> m_completion;
};

} // namespace berthkeep
