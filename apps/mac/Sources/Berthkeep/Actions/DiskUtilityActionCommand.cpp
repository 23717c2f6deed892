#include "Berthkeep/Actions/DiskUtilityActionCommand.hpp"

#include "Berthkeep/Actions/DriveOperationError.hpp"
#include "Berthkeep/Inventory/DiskToolProcessRequest.hpp"
#include "BerthkeepShared/BerthkeepText.hpp"
#include "BerthkeepShared/ProcessRunnerAsync.hpp"

namespace berthkeep {

std::exception_ptr diskUtilityActionFailure(const DiskUtilityActionCommand& command,
                                            const ProcessResult& result) {
    if (result.outcome == ProcessOutcome::timedOut) {
        return std::make_exception_ptr(command.errorDomain == DriveOperationError::remountDomain
                                           ? DriveOperationError::mountTimedOut()
                                           : DriveOperationError::timedOut());
    }
    if (result.exitCode == 0) {
        if (result.outcome == ProcessOutcome::exited) {
            return nullptr;
        }
        if (result.outcome == ProcessOutcome::cancelled) {
            return std::make_exception_ptr(CancellationError());
        }
    }
    std::string description;
    if (isValidUTF8(result.standardError)) {
        description = trimmingWhitespaceAndNewlines(result.standardError);
    }
    if (description.empty()) {
        description = command.failureMessage;
    }
    // A flood of output has no status worth reporting; -1 is no exit status.
    const std::int64_t code =
        result.outcome == ProcessOutcome::outputTooLarge ? -1 : result.exitCode;
    return std::make_exception_ptr(
        DriveOperationError(command.errorDomain, code, std::move(description)));
}

std::string diskUtilityActionText(const ProcessResult& result) {
    for (const std::string* text : {&result.standardError, &result.standardOutput}) {
        if (isValidUTF8(*text)) {
            std::string trimmed = trimmingWhitespaceAndNewlines(*text);
            if (!trimmed.empty()) {
                return trimmed;
            }
        }
    }
    return {};
}

QCoro::Task<std::string> runDiskUtilityAction(DiskUtilityActionCommand command,
                                              std::shared_ptr<CancelToken> cancel,
                                              std::shared_ptr<Executor> executor) {
    ProcessRequest request =
        DiskToolProcessRequest::make(command.executablePath, command.arguments, command.deadline,
                                     command.terminationGracePeriod);
    request.cancelToken = std::move(cancel);
    const ProcessResult result = co_await runProcessAsync(std::move(request), std::move(executor));
    if (const std::exception_ptr failure = diskUtilityActionFailure(command, result)) {
        std::rethrow_exception(failure);
    }
    co_return diskUtilityActionText(result);
}

} // namespace berthkeep
