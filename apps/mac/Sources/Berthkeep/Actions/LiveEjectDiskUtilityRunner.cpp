#include "Berthkeep/Actions/LiveEjectDiskUtilityRunner.hpp"

#include "Berthkeep/Actions/DiskUtilityActionCommand.hpp"
#include "Berthkeep/Actions/DriveOperationError.hpp"

namespace berthkeep {

LiveEjectDiskUtilityRunner::LiveEjectDiskUtilityRunner(std::string executablePath,
                                                       std::chrono::milliseconds deadline,
                                                       std::shared_ptr<Executor> executor)
    : m_executablePath(std::move(executablePath))
    , m_deadline(deadline)
    , m_executor(std::move(executor)) {}

QCoro::Task<std::string> LiveEjectDiskUtilityRunner::run(std::vector<std::string> arguments,
                                                         std::string failureMessage,
                                                         std::shared_ptr<CancelToken> cancel) {
    DiskUtilityActionCommand command;
    command.executablePath = m_executablePath;
    command.arguments = std::move(arguments);
    command.failureMessage = std::move(failureMessage);
    command.errorDomain = DriveOperationError::ejectDomain;
    command.deadline = m_deadline;
    std::string said =
        co_await runDiskUtilityAction(std::move(command), std::move(cancel), m_executor);
    co_return said;
}

} // namespace berthkeep
