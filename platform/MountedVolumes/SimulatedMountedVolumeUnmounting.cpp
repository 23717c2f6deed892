#include "platform/MountedVolumes/SimulatedMountedVolumeUnmounting.hpp"

#include <QThreadPool>

#include "platform/SimulatedMachine/SimulatedMachineActions.hpp"

namespace berthkeep {

namespace {

std::string trimmedLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

} // namespace

SimulatedMountedVolumeUnmounting::SimulatedMountedVolumeUnmounting(SimulatedStateFile stateFile)
    : m_stateFile(std::move(stateFile)) {}

void SimulatedMountedVolumeUnmounting::unmountVolume(const QUrl& volumeURL, Completion completion) {
    std::string path = volumeURL.toLocalFile().toStdString();
    // The listing hands out directory URLs; the machine records paths without the slash.
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    QThreadPool::globalInstance()->start([stateFile = m_stateFile, path,
                                          completion = std::move(completion)] {
        std::exception_ptr error;
        try {
            SimulatedCommandResult result;
            stateFile.update([&](SimulatedWorld& world) {
                result = ::berthkeep::unmountVolume(world, path);
                return result.exitStatus == 0;
            });
            if (result.exitStatus != 0) {
                error =
                    std::make_exception_ptr(VolumeUnmountError(trimmedLine(result.standardError)));
            }
        } catch (const std::exception& failure) {
            error = std::make_exception_ptr(VolumeUnmountError(failure.what()));
        }
        completion(error);
    });
}

} // namespace berthkeep
