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
    std::shared_ptr<MountedVolumeUnmounting> volumeUnmounter)
    : m_diskUtilityRunner(std::move(diskUtilityRunner))
    , m_volumeUnmounter(std::move(volumeUnmounter)) {}

QCoro::Task<void> WorkspaceDriveEjector::eject(DetectedDrive drive, DriveEjectMode mode,
                                               std::shared_ptr<CancelToken> cancel) {
    if (mode == DriveEjectMode::device) {
        const auto& target =
            drive.ejectTargetBSDName() ? drive.ejectTargetBSDName() : drive.bsdName();
        if (!target) {
            throw DriveOperationError::notMounted();
        }
        std::vector<std::string> arguments{"eject", *target};
        co_await m_diskUtilityRunner->run(std::move(arguments), "diskutil eject failed",
                                          std::move(cancel));
        co_return;
    }
    if (drive.bsdName()) {
        std::vector<std::string> arguments{"unmount", *drive.bsdName()};
        co_await m_diskUtilityRunner->run(std::move(arguments), "diskutil unmount failed",
                                          std::move(cancel));
        co_return;
    }
    if (!drive.mountURL() || !m_volumeUnmounter) {
        throw DriveOperationError::notMounted();
    }
    co_await unmountThroughFileManager(m_volumeUnmounter, *drive.mountURL(), std::move(cancel));
}

} // namespace berthkeep
