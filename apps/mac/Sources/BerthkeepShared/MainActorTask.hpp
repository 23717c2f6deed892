#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include <QCoroTask>

#include "BerthkeepShared/CancelToken.hpp"
#include "BerthkeepShared/Completion.hpp"
#include "BerthkeepShared/MainThread.hpp"
#include "BerthkeepShared/SharedTask.hpp"

namespace berthkeep {

namespace detail {

template <typename>
struct TaskValue;
template <typename T>
struct TaskValue<QCoro::Task<T>> {
    using type = T;
};

// Logs an exception that left a task nobody was awaiting. CancellationError is
// an ordinary way to end and is not logged.
void reportEscapedException(std::exception_ptr error, const char* name);

template <typename T, typename Factory>
QCoro::Task<void> runMainActorTask(std::shared_ptr<Factory> factory, Completion<T> completion, const char* name) {
    // `factory` stays alive in this frame until the task ends.
    try {
        auto task = std::invoke(*factory);
        if constexpr (std::is_void_v<T>) {
            co_await task;
            completion.resolve();
        } else {
            completion.resolve(co_await task);
        }
    } catch (...) {
        const auto error = std::current_exception();
        if (completion.waiterCount() == 0) {
            reportEscapedException(error, name);
        }
        completion.fail(error);
    }
}

} // namespace detail

// Starts async work the way a queued task does: the factory is called on a later
// turn of the main event loop (never inside this call, and from any thread), and
// the task it returns runs to its end even when nobody keeps the handle.
//
// The factory is a callable that returns QCoro::Task<T>, normally a plain lambda
// that calls a coroutine function and passes the state as parameters:
//
//     startMainActorTask([store = QPointer(this), token] { return watchVolumes(store, token); });
//
// Rule: no capturing coroutine lambdas anywhere. A coroutine lambda's captures
// live in the lambda object, not in the coroutine frame, so they dangle once the
// lambda is gone. (This helper keeps the factory alive until the task ends, but
// write the code as above all the same.) A coroutine that holds an object weakly
// takes a QPointer and checks it after every co_await.
//
// The returned handle may be dropped or co_awaited (it is a SharedTask). An
// exception that ends the task while nobody awaits it is logged, never rethrown
// into the event loop, under `name` (a string literal: it is kept, not copied).
// Cancellation is explicit: pass a CancelToken in.
template <typename Factory>
auto startMainActorTask(Factory factory, const char* name = "main-actor task")
    -> SharedTask<typename detail::TaskValue<std::invoke_result_t<Factory&>>::type> {
    using T = typename detail::TaskValue<std::invoke_result_t<Factory&>>::type;
    Completion<T> completion;
    auto shared = std::make_shared<Factory>(std::move(factory));
    postToMainThread([shared, completion, name] { detail::runMainActorTask<T>(shared, completion, name); });
    return SharedTask<T>(completion);
}

} // namespace berthkeep
