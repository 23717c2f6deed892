#include "BerthkeepShared/ProcessRunnerAsync.hpp"

namespace berthkeep {

QCoro::Task<ProcessResult> runProcessAsync(ProcessRequest request, std::shared_ptr<Executor> executor) {
    // A plain function object, not a coroutine: the request is copied into it.
    return runDetached([request = std::move(request)] { return runProcess(request); }, std::move(executor));
}

} // namespace berthkeep
