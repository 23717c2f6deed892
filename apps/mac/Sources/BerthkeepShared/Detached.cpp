#include "BerthkeepShared/Detached.hpp"

#include <QThreadPool>

namespace berthkeep {

ThreadPoolExecutor::ThreadPoolExecutor(QThreadPool* pool) : m_pool(pool ? pool : QThreadPool::globalInstance()) {}

void ThreadPoolExecutor::execute(std::function<void()> work) {
    m_pool->start(std::move(work));
}

std::shared_ptr<Executor> defaultExecutor() {
    static const auto executor = std::make_shared<ThreadPoolExecutor>();
    return executor;
}

} // namespace berthkeep
