#include "Berthkeep/Shell/BerthkeepLivePlatform.hpp"

#include "Berthkeep/Domain/FullMonitoringSystemSettingsOpener.hpp"
#include "platform/UrlOpening/DesktopUrlOpener.hpp"

#include <QDir>
#include <QFileInfo>

#include "Berthkeep/Actions/LiveEjectDiskUtilityRunner.hpp"
#include "Berthkeep/Inventory/LiveDiskImageRegistry.hpp"
#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "platform/Bundle/AppBundle.hpp"
#include "platform/DiskArbitration/SimulatedDiskArbitration.hpp"
#include "platform/LoginItems/XdgAutostartLoginItemService.hpp"
#include "platform/MountedVolumes/SimulatedMountedVolumeListing.hpp"
#include "platform/MountedVolumes/SimulatedMountedVolumeUnmounting.hpp"
#include "platform/Power/SimulatedSystemPowerManagement.hpp"
#include "platform/Workspace/SimulatedWorkspaceNotificationCenter.hpp"

namespace berthkeep {

namespace {

// The mount root of the machine as it stands at start; a file that cannot be
// read yet gives the default root, as an empty machine would.
VolumesFolder volumesFolderOf(const SimulatedStateFile& stateFile) {
    try {
        return stateFile.read().volumesFolder();
    } catch (const std::exception&) {
        return SimulatedWorld().volumesFolder();
    }
}

} // namespace

BerthkeepLivePlatform BerthkeepLivePlatform::simulatedMachine(SimulatedStateFile stateFile,
                                                              const AppBundle& bundle) {
    const std::string executable = bundle.executablePath().value_or(std::string());
    const std::string identifier =
        BerthkeepRuntimeIdentity::effectiveBundleIdentifier(bundle.bundleIdentifier());
    return BerthkeepLivePlatform{
        stateFile,
        std::make_shared<SimulatedDiskArbitration>(stateFile),
        std::make_shared<SimulatedMountedVolumeListing>(stateFile),
        std::make_shared<SimulatedMountedVolumeUnmounting>(stateFile),
        std::make_shared<SimulatedSystemPowerManagement>(stateFile),
        std::make_shared<SimulatedWorkspaceNotificationCenter>(stateFile),
        std::make_shared<XdgAutostartLoginItemService>(
            XdgAutostartLoginItemService::defaultAutostartFolder(), identifier, executable),
        std::make_shared<DesktopUrlOpener>(QUrl::fromLocalFile(
            QString::fromUtf8(FullMonitoringSystemSettingsOpener::systemSettingsPath.data()))),
        volumesFolderOf(stateFile),
        standInToolPath(bundle, "diskutil", LiveEjectDiskUtilityRunner::defaultExecutablePath),
        standInToolPath(bundle, "hdiutil", LiveDiskImageRegistry::defaultExecutablePath)};
}

std::string BerthkeepLivePlatform::standInToolPath(const AppBundle& bundle, const std::string& tool,
                                                   const std::string& fallback) {
    const QDir bundleParent = QFileInfo(QString::fromStdString(bundle.bundlePath())).dir();
    const QFileInfo candidate(
        bundleParent.filePath(QStringLiteral("sim-bin/") + QString::fromStdString(tool)));
    if (candidate.isFile() && candidate.isExecutable()) {
        return QDir::cleanPath(candidate.absoluteFilePath()).toStdString();
    }
    return fallback;
}

} // namespace berthkeep
