#pragma once

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include <QCoroTask>

#include "BerthkeepShared/Completion.hpp"

class QThreadPool;

namespace berthkeep {

// Where detached (background) work runs.
class Executor {
public:
    virtual ~Executor() = default;
    virtual void execute(std::function<void()> work) = 0;
};

// A QThreadPool; the global one by default.
class ThreadPoolExecutor final : public Executor {
public:
    explicit ThreadPoolExecutor(QThreadPool* pool = nullptr);
    void execute(std::function<void()> work) override;

private:
    QThreadPool* m_pool;
};

// Runs the work at once on the calling thread: deterministic tests.
class InlineExecutor final : public Executor {
public:
    void execute(std::function<void()> work) override { work(); }
};

// The executor runDetached uses when none is given (the global thread pool).
std::shared_ptr<Executor> defaultExecutor();

// Wraps work an executor is sure to run on another thread, so that
// finishDetachedWork knows it is under way from now until it has run (or the
// wrapper is dropped unrun). Real executors wrap what they are given; one that
// may hold work forever (a test's) does not.
std::function<void()> countedUntilRun(std::function<void()> work);

// For the end of the program or of a test, once the work under way has been
// told to stop (its children cancelled, its owners gone): waits until no
// counted work is left and runs what that work handed back to the main loop,
// so every coroutine it held ends before the application object does. Runs
// posted events only: no timers, sockets or input. False when `limit` passed
// first, with work still running.
bool finishDetachedWork(std::chrono::milliseconds limit);

// Runs `work` (a plain callable returning R) off the main thread and resumes the
// awaiting coroutine on the main thread with its result, or rethrows what it
// threw. The work must not touch main-thread objects: give it copies. With an
// InlineExecutor the work runs inside this call and the result is ready at once.
//
// g++ 12: a lambda, a braced temporary (`T{...}`) or an object made by `?:` in
// the same full-expression as co_await is destroyed twice. Bind it to a local
// first:
//     auto work = [request] { return parse(request); };
//     const auto parsed = co_await runDetached(work);
template <typename Work>
QCoro::Task<std::invoke_result_t<Work&>> runDetached(Work work,
                                                     std::shared_ptr<Executor> executor = {}) {
    using R = std::invoke_result_t<Work&>;
    Completion<R> done;
    auto shared = std::make_shared<Work>(std::move(work));
    (executor ? executor : defaultExecutor())->execute([shared, done] {
        try {
            if constexpr (std::is_void_v<R>) {
                (*shared)();
                done.resolve();
            } else {
                done.resolve((*shared)());
            }
        } catch (...) {
            done.fail(std::current_exception());
        }
    });
    if constexpr (std::is_void_v<R>) {
        co_await done;
    } else {
        co_return co_await done;
    }
}

} // namespace berthkeep
