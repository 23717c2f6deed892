#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "Berthkeep/Actions/AttachedDriveCheck.hpp"
#include "Berthkeep/Actions/DriveRemounting.hpp"
#include "BerthkeepShared/Detached.hpp"

namespace berthkeep {

// The remounter over `diskutil mount` (one volume) and `diskutil mountDisk` (a
// whole disk). A non-zero exit throws DriveOperationError ("BerthkeepStore.Remount")
// with the tool's reason. Cancelling stops the child: its non-zero status is then
// the error, and a run that ends well anyway throws CancellationError. Before
// the tool runs, the check confirms that each target's BSD name still names its
// drive (and, for a whole disk, lies on it); otherwise nothing runs and the call
// throws DriveOperationError::noLongerAttached.
class WorkspaceDriveRemounter final : public DriveRemounting {
public:
    static constexpr const char* defaultExecutablePath = "/usr/sbin/diskutil";
    static constexpr std::chrono::milliseconds defaultDeadline{60000};

    explicit WorkspaceDriveRemounter(std::shared_ptr<AttachedDriveCheck> check,
                                     std::string executablePath = defaultExecutablePath,
                                     std::chrono::milliseconds deadline = defaultDeadline,
                                     std::shared_ptr<Executor> executor = {});

    QCoro::Task<void> mount(RemountTarget target, std::shared_ptr<CancelToken> cancel) override;
    QCoro::Task<void> mountDisk(RemountGroup group, std::shared_ptr<CancelToken> cancel) override;

private:
    // Confirms each target (on `wholeDisk`, when given), then runs the tool.
    QCoro::Task<void> runChecked(std::vector<RemountTarget> targets,
                                 std::optional<std::string> wholeDisk,
                                 std::vector<std::string> arguments, std::string failureMessage,
                                 std::shared_ptr<CancelToken> cancel);

    std::shared_ptr<AttachedDriveCheck> m_check;
    std::string m_executablePath;
    std::chrono::milliseconds m_deadline;
    std::shared_ptr<Executor> m_executor;
};

} // namespace berthkeep
