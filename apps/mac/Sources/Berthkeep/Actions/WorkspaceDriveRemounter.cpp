#include "Berthkeep/Actions/WorkspaceDriveRemounter.hpp"

#include "Berthkeep/Actions/DiskUtilityActionCommand.hpp"
#include "Berthkeep/Actions/DriveOperationError.hpp"

namespace berthkeep {

WorkspaceDriveRemounter::WorkspaceDriveRemounter(std::string executablePath,
                                                 std::chrono::milliseconds deadline,
                                                 std::shared_ptr<Executor> executor)
    : m_executablePath(std::move(executablePath))
    , m_deadline(deadline)
    , m_executor(std::move(executor)) {}

QCoro::Task<void> WorkspaceDriveRemounter::mount(RemountTarget target,
                                                 std::shared_ptr<CancelToken> cancel) {
    std::vector<std::string> arguments{"mount", target.bsdName};
    co_await runDiskUtility(std::move(arguments), "diskutil mount failed", std::move(cancel));
}

QCoro::Task<void> WorkspaceDriveRemounter::mountDisk(RemountGroup group,
                                                     std::shared_ptr<CancelToken> cancel) {
    std::vector<std::string> arguments{"mountDisk", group.bsdName};
    co_await runDiskUtility(std::move(arguments), "diskutil mountDisk failed", std::move(cancel));
}

QCoro::Task<void> WorkspaceDriveRemounter::runDiskUtility(std::vector<std::string> arguments,
                                                          std::string failureMessage,
                                                          std::shared_ptr<CancelToken> cancel) {
    DiskUtilityActionCommand command;
    command.executablePath = m_executablePath;
    command.arguments = std::move(arguments);
    command.failureMessage = std::move(failureMessage);
    command.errorDomain = DriveOperationError::remountDomain;
    command.deadline = m_deadline;
    co_await runDiskUtilityAction(std::move(command), cancel, m_executor);
    throwIfCancelled(cancel);
}

} // namespace berthkeep
