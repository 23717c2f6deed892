#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <QCoroTask>

#include "BerthkeepShared/CancelToken.hpp"
#include "BerthkeepShared/Detached.hpp"
#include "BerthkeepShared/ProcessRunner.hpp"

namespace berthkeep {

// One `diskutil` command that changes a drive (eject, unmount, mount, mountDisk),
// run through the shared process runner on a worker and awaited on the main
// thread. Both executors run their commands through it.
struct DiskUtilityActionCommand {
    std::string executablePath;
    std::vector<std::string> arguments;
    // The description when the tool exits non-zero without saying why.
    std::string failureMessage;
    // DriveOperationError's domain for a non-zero exit.
    std::string errorDomain;
    // The outer bound on the child; callers race their own, shorter time-outs.
    std::chrono::milliseconds deadline{60000};
    std::chrono::milliseconds terminationGracePeriod{1000};
};

// What a finished run means: nothing when the command succeeded; otherwise the
// exception to throw. Exit status 0 succeeds whatever standard error says, unless
// the run was cancelled, which is then a CancellationError. A non-zero status (or
// the number of the signal that ended the child) is a DriveOperationError with
// that code and the trimmed standard error, else the failure message; a child
// stopped at the deadline is the time-out error of the command's domain.
std::exception_ptr diskUtilityActionFailure(const DiskUtilityActionCommand& command,
                                            const ProcessResult& result);

// What a command that ended well said: its trimmed standard error, else its
// trimmed standard output ("" for neither, or for text that is not UTF-8).
std::string diskUtilityActionText(const ProcessResult& result);

// Ends when the child has gone, with diskUtilityActionText of a run that ended
// well. Cancelling the token stops the child (SIGTERM, then SIGKILL after the
// grace period) and the call throws what diskUtilityActionFailure gives.
// ProcessLaunchError passes through unchanged.
QCoro::Task<std::string> runDiskUtilityAction(DiskUtilityActionCommand command,
                                              std::shared_ptr<CancelToken> cancel,
                                              std::shared_ptr<Executor> executor = {});

} // namespace berthkeep
