#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>

#include <memory>
#include <string>

#include "../Inventory/InventoryTestSupport.hpp"
#include "Berthkeep/Actions/LiveEjectDiskUtilityRunner.hpp"
#include "Berthkeep/Actions/WorkspaceDriveEjector.hpp"
#include "Berthkeep/Actions/WorkspaceDriveRemounter.hpp"
#include "Berthkeep/Inventory/LiveDiskImageRegistry.hpp"
#include "Berthkeep/Inventory/LiveDiskUtilityRunner.hpp"
#include "Berthkeep/Inventory/LiveDriveInventoryMonitor.hpp"
#include "Berthkeep/Inventory/MountedVolumeInventoryService.hpp"
#include "StoreFixture.hpp"
#include "platform/DiskArbitration/SimulatedDiskArbitration.hpp"
#include "platform/MountedVolumes/SimulatedMountedVolumeListing.hpp"
#include "platform/MountedVolumes/SimulatedMountedVolumeUnmounting.hpp"

namespace berthkeep::storetest {

// The real inventory service over the stand-in disk tools and this machine.
inline std::shared_ptr<MountedVolumeInventoryService>
simulatedMachineInventory(const SimulatedStateFile& stateFile,
                          std::shared_ptr<LiveDiskArbitrationProvider> diskArbitration = nullptr) {
    using namespace std::chrono_literals;
    if (!diskArbitration) {
        diskArbitration = std::make_shared<LiveDiskArbitrationProvider>(
            std::make_shared<SimulatedDiskArbitration>(stateFile));
    }
    return std::make_shared<MountedVolumeInventoryService>(
        std::make_shared<LiveDiskUtilityRunner>(inventorytest::standInPath("diskutil"),
                                                inventorytest::answeringCallTimeout, 250ms),
        std::make_shared<LiveDiskImageRegistry>(inventorytest::standInPath("hdiutil"),
                                                inventorytest::answeringCallTimeout),
        std::move(diskArbitration), std::make_shared<SimulatedMountedVolumeListing>(stateFile),
        stateFile.read().volumesFolder());
}

// After onSimulatedMachine: the store also watches the disk service, as the
// program does, so a disk that appears unmounted is seen at once.
inline void watchDisks(StoreFixture& fixture, const SimulatedStateFile& stateFile) {
    auto diskArbitration = std::make_shared<LiveDiskArbitrationProvider>(
        std::make_shared<SimulatedDiskArbitration>(stateFile));
    fixture.customInventory = simulatedMachineInventory(stateFile, diskArbitration);
    fixture.customMonitor = std::make_shared<LiveDriveInventoryMonitor>(diskArbitration);
}

// The executors' fresh readings through the stand-in diskutil.
inline std::shared_ptr<AttachedDriveCheck> simulatedMachineDriveCheck() {
    using namespace std::chrono_literals;
    return std::make_shared<AttachedDriveCheck>(std::make_shared<LiveDiskUtilityRunner>(
        inventorytest::standInPath("diskutil"), 5000ms, 250ms));
}

// The real ejector over the stand-in diskutil.
inline std::shared_ptr<WorkspaceDriveEjector>
simulatedMachineEjector(const SimulatedStateFile& stateFile) {
    return std::make_shared<WorkspaceDriveEjector>(
        std::make_shared<LiveEjectDiskUtilityRunner>(inventorytest::standInPath("diskutil")),
        std::make_shared<SimulatedMountedVolumeUnmounting>(stateFile),
        simulatedMachineDriveCheck());
}

// The fixture's store over this machine's real inventory and the in-app core, with no
// inventory monitor, no link opener and its background work on the thread pool; the
// ejector, remounter and sleep requester refuse to be used unless a test sets others.
// Returns the inventory.
inline std::shared_ptr<MountedVolumeInventoryService>
onSimulatedMachine(StoreFixture& fixture, const SimulatedStateFile& stateFile) {
    auto inventory = simulatedMachineInventory(stateFile);
    fixture.customInventory = inventory;
    fixture.monitor = nullptr;
    fixture.executor = nullptr;
    fixture.urlOpener = nullptr;
    fixture.customEjector = std::make_shared<UnusedEjector>();
    fixture.remounter = std::make_shared<UnusedRemounter>();
    fixture.customCore = std::make_shared<SwiftBerthkeepCore>();
    fixture.customSleepRequester = std::make_shared<UnusedSleepRequester>();
    return inventory;
}

// Real ejects and mounts, through the stand-in diskutil.
inline void useStandInDriveActions(StoreFixture& fixture, const SimulatedStateFile& stateFile) {
    fixture.customEjector = simulatedMachineEjector(stateFile);
    fixture.remounter = std::make_shared<WorkspaceDriveRemounter>(
        simulatedMachineDriveCheck(), inventorytest::standInPath("diskutil"));
}

// A real process with a file open under a mount folder, as an editor would;
// ended with the holder.
class OpenFileHolder {
public:
    ~OpenFileHolder() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    void holdOpen(const std::string& mountPath) {
        const QString file = QString::fromStdString(mountPath + "/notes.txt");
        QFile(file).open(QIODevice::WriteOnly);
        m_process.start("/bin/sh", {"-c", "exec 3<\"$1\"; echo ready; exec sleep 60", "sh", file});
        ASSERT_TRUE(m_process.waitForReadyRead(5000));
    }

private:
    QProcess m_process;
};

} // namespace berthkeep::storetest
