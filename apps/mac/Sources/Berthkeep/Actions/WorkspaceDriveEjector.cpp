#include "Berthkeep/Actions/WorkspaceDriveEjector.hpp"

#include "Berthkeep/Actions/DriveOperationError.hpp"
#include "Berthkeep/Actions/UnmountVolumeContinuationState.hpp"

namespace berthkeep {

namespace {

// Waits for the file manager's answer, or for the token, whichever comes first.
QCoro::Task<void> unmountThroughFileManager(std::shared_ptr<MountedVolumeUnmounting> unmounter,
                                            QUrl volumeURL, std::shared_ptr<CancelToken> cancel) {
    const auto state = std::make_shared<UnmountVolumeContinuationState>();
    Completion<void> continuation;
    CancelToken::CallbackId cancelID = 0;
    if (cancel) {
        cancelID = cancel->onCancel([state] { state->cancelIfNeeded(); });
    }
    state->install(continuation);
    if (!continuation.isDone()) {
        unmounter->unmountVolume(volumeURL,
                                 [state](std::exception_ptr error) { state->complete(error); });
    }
    try {
        co_await continuation;
    } catch (...) {
        if (cancel) {
            cancel->removeCallback(cancelID);
        }
        throw;
    }
    if (cancel) {
        cancel->removeCallback(cancelID);
    }
}

} // namespace

WorkspaceDriveEjector::WorkspaceDriveEjector(
    std::shared_ptr<EjectDiskUtilityRunning> diskUtilityRunner,
    std::shared_ptr<MountedVolumeUnmounting> volumeUnmounter,
    std::shared_ptr<AttachedDriveCheck> check)
    : m_diskUtilityRunner(std::move(diskUtilityRunner))
    , m_volumeUnmounter(std::move(volumeUnmounter))
    , m_check(std::move(check)) {}

QCoro::Task<void> WorkspaceDriveEjector::eject(DetectedDrive drive, DriveEjectMode mode,
                                               std::shared_ptr<CancelToken> cancel) {
    if (mode == DriveEjectMode::device) {
        const auto& target =
            drive.ejectTargetBSDName() ? drive.ejectTargetBSDName() : drive.bsdName();
        if (!target) {
            throw DriveOperationError::notMounted();
        }
        std::vector<std::string> arguments{"eject", *target};
        co_await runChecked(std::move(drive), std::move(arguments), "diskutil eject failed",
                            std::move(cancel));
        co_return;
    }
    if (drive.bsdName()) {
        std::vector<std::string> arguments{"unmount", *drive.bsdName()};
        co_await runChecked(std::move(drive), std::move(arguments), "diskutil unmount failed",
                            std::move(cancel));
        co_return;
    }
    if (!drive.mountURL() || !m_volumeUnmounter) {
        throw DriveOperationError::notMounted();
    }
    co_await unmountThroughFileManager(m_volumeUnmounter, *drive.mountURL(), std::move(cancel));
}

QCoro::Task<void> WorkspaceDriveEjector::runChecked(DetectedDrive drive,
                                                    std::vector<std::string> arguments,
                                                    std::string failureMessage,
                                                    std::shared_ptr<CancelToken> cancel) {
    // The volume tells the drive apart; the command's own name (a whole disk in
    // device mode) must be the disk that volume lies on.
    AttachedDriveCheck::Expected expected;
    expected.bsdName = drive.bsdName().value_or(arguments[1]);
    expected.identity = drive.identity();
    if (drive.mountURL()) {
        expected.mountPath = drive.mountURL()->toLocalFile().toStdString();
    }
    if (arguments[1] != expected.bsdName) {
        expected.wholeDisk = arguments[1];
    }
    // Taken before the first wait: nothing of `this` is touched after one.
    const std::shared_ptr<AttachedDriveCheck> check = m_check;
    const std::shared_ptr<EjectDiskUtilityRunning> runner = m_diskUtilityRunner;
    co_await check->confirm(expected, DriveOperationError::ejectDomain);
    throwIfCancelled(cancel);

    std::string said;
    std::exception_ptr failure;
    try {
        said = co_await runner->run(std::move(arguments), failureMessage, cancel);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        if (cancel && cancel->isCancelled()) {
            std::rethrow_exception(failure);
        }
        // Pulled out while the command ran: the tool found no disk. Say so, so the
        // drive is counted as gone, not as ejected by a failed command.
        bool gone = false;
        try {
            co_await check->confirm(expected, DriveOperationError::ejectDomain);
        } catch (...) {
            gone = DriveOperationError::isNoLongerAttached(std::current_exception());
        }
        if (gone) {
            throw DriveOperationError::noLongerAttached(DriveOperationError::ejectDomain);
        }
        std::rethrow_exception(failure);
    }
    // Exit status 0 is not enough: a tool that failed quietly leaves it mounted.
    const bool stillMounted = co_await check->isStillMounted(std::move(expected));
    if (stillMounted) {
        throw DriveOperationError::stillMounted(said.empty() ? failureMessage : said);
    }
}

} // namespace berthkeep
