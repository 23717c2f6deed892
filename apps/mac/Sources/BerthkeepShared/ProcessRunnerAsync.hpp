#pragma once

#include <memory>

#include <QCoroTask>

#include "BerthkeepShared/Detached.hpp"
#include "BerthkeepShared/ProcessRunner.hpp"

namespace berthkeep {

// runProcess for main-thread code: the blocking run happens on the executor (the
// global thread pool by default) and the coroutine resumes on the main thread.
// ProcessLaunchError is rethrown to the awaiter.
QCoro::Task<ProcessResult> runProcessAsync(ProcessRequest request, std::shared_ptr<Executor> executor = {});

} // namespace berthkeep
