#include "Berthkeep/Actions/WorkspaceDriveRemounter.hpp"

#include "Berthkeep/Actions/DiskUtilityActionCommand.hpp"
#include "Berthkeep/Actions/DriveOperationError.hpp"

namespace berthkeep {

WorkspaceDriveRemounter::WorkspaceDriveRemounter(std::shared_ptr<AttachedDriveCheck> check,
                                                 std::string executablePath,
                                                 std::chrono::milliseconds deadline,
                                                 std::shared_ptr<Executor> executor)
    : m_check(std::move(check))
    , m_executablePath(std::move(executablePath))
    , m_deadline(deadline)
    , m_executor(std::move(executor)) {}

QCoro::Task<void> WorkspaceDriveRemounter::mount(RemountTarget target,
                                                 std::shared_ptr<CancelToken> cancel) {
    std::vector<std::string> arguments{"mount", target.bsdName};
    std::vector<RemountTarget> targets{std::move(target)};
    co_await runChecked(std::move(targets), std::nullopt, std::move(arguments),
                        "diskutil mount failed", std::move(cancel));
}

QCoro::Task<void> WorkspaceDriveRemounter::mountDisk(RemountGroup group,
                                                     std::shared_ptr<CancelToken> cancel) {
    std::vector<std::string> arguments{"mountDisk", group.bsdName};
    co_await runChecked(std::move(group.targets), group.bsdName, std::move(arguments),
                        "diskutil mountDisk failed", std::move(cancel));
}

QCoro::Task<void> WorkspaceDriveRemounter::runChecked(std::vector<RemountTarget> targets,
                                                      std::optional<std::string> wholeDisk,
                                                      std::vector<std::string> arguments,
                                                      std::string failureMessage,
                                                      std::shared_ptr<CancelToken> cancel) {
    // Taken before the first wait: nothing of `this` is touched after one.
    const std::shared_ptr<AttachedDriveCheck> check = m_check;
    const std::shared_ptr<Executor> executor = m_executor;
    DiskUtilityActionCommand command;
    command.executablePath = m_executablePath;
    command.arguments = std::move(arguments);
    command.failureMessage = std::move(failureMessage);
    command.errorDomain = DriveOperationError::remountDomain;
    command.deadline = m_deadline;

    // For a whole disk every volume must still be on it: a disk that is only
    // partly the one the user chose is not it.
    for (const RemountTarget& target : targets) {
        AttachedDriveCheck::Expected expected;
        expected.bsdName = target.bsdName;
        expected.identity = target.identity;
        if (wholeDisk && *wholeDisk != target.bsdName) {
            expected.wholeDisk = wholeDisk;
        }
        co_await check->confirm(std::move(expected), DriveOperationError::remountDomain);
        throwIfCancelled(cancel);
    }
    co_await runDiskUtilityAction(std::move(command), cancel, executor);
    throwIfCancelled(cancel);
}

} // namespace berthkeep
