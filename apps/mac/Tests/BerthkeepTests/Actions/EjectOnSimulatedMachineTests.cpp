#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include <nlohmann/json.hpp>

#include "../Inventory/InventoryTestSupport.hpp"
#include "../Store/SimulatedMachineStoreSupport.hpp"
#include "../Store/StoreFixture.hpp"
#include "Berthkeep/Actions/DiskUtilityActionCommand.hpp"
#include "Berthkeep/Actions/DriveOperationError.hpp"
#include "Berthkeep/Actions/LiveEjectDiskUtilityRunner.hpp"
#include "Berthkeep/Actions/WorkspaceDriveEjector.hpp"
#include "Berthkeep/Domain/SwiftBerthkeepCore.hpp"
#include "Berthkeep/Inventory/LiveDiskImageRegistry.hpp"
#include "Berthkeep/Inventory/LiveDiskUtilityRunner.hpp"
#include "Berthkeep/Inventory/MountedVolumeInventoryService.hpp"
#include "BerthkeepRustBridge/DynamicLibraryRustBerthkeepCoreTransport.hpp"
#include "BerthkeepRustBridge/RustBerthkeepCore.hpp"
#include "platform/DiskArbitration/SimulatedDiskArbitration.hpp"
#include "platform/MountedVolumes/SimulatedMountedVolumeListing.hpp"
#include "platform/MountedVolumes/SimulatedMountedVolumeUnmounting.hpp"
#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"
#include "platform/SimulatedMachine/SimulatedMachineActions.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;

// The built core library, with no in-app fallback, where the build has one.
std::shared_ptr<BerthkeepCoreHandling> builtCoreLibrary() {
#ifdef BERTHKEEP_USAGE_CORE_LIBRARY_PATH
    return std::make_shared<RustBerthkeepCore>(
        RustBerthkeepCoreBridge(std::make_shared<DynamicLibraryRustBerthkeepCoreTransport>(
            BERTHKEEP_USAGE_CORE_LIBRARY_PATH)),
        std::make_shared<SwiftBerthkeepCore>(), RustBerthkeepCore::FallbackPolicy::requireRust);
#else
    return std::make_shared<SwiftBerthkeepCore>();
#endif
}

class EjectOnSimulatedMachine : public inventorytest::SimulatedMachineTest {
protected:
    void holdOpen(const std::string& mountPath) { m_holder.holdOpen(mountPath); }

    // The real store over the real inventory and the stand-in tools, on the live
    // clock; its decisions come from the given core, the in-app one by default.
    std::unique_ptr<BerthkeepStore> makeStore(
        storetest::StoreFixture& fixture,
        std::shared_ptr<BerthkeepCoreHandling> core = std::make_shared<SwiftBerthkeepCore>()) {
        storetest::onSimulatedMachine(fixture, stateFile());
        storetest::useStandInDriveActions(fixture, stateFile());
        fixture.customCore = std::move(core);
        fixture.liveClock = true;
        fixture.observeWorkspace = false;
        fixture.performInitialDriveUsageRefresh = false;
        return fixture.make();
    }

    storetest::OpenFileHolder m_holder;

    // The store over the machine, its launch refresh done.
    std::unique_ptr<BerthkeepStore> makeRefreshedStore(storetest::StoreFixture& fixture) {
        auto store = makeStore(fixture);
        EXPECT_TRUE(test::processEventsUntil(
            [&store] { return store->hasCompletedInitialAsyncUsageRefresh(); }, 20s));
        return store;
    }

    std::string driveID(const BerthkeepStore& store, const std::string& name) const {
        for (const DetectedDrive& drive : store.detectedDrives()) {
            if (drive.name() == name) {
                return drive.id();
            }
        }
        ADD_FAILURE() << "no drive " << name;
        return {};
    }

    // Between a click and its action: the disk is pulled out and a new stick,
    // plugged in at once, takes its BSD name. Returns the new stick's volume.
    std::string replaceWithVictim(const std::string& disk) const {
        std::string victim;
        stateFile().update([&](SimulatedWorld& world) {
            detachDevice(world, disk);
            const std::string taken =
                attachPreset(world, SimulatedDrivePreset::usbStick, std::string("Victim"));
            EXPECT_EQ(taken, disk) << "the new stick takes the free name";
            victim = world.findDisk(taken)->volumes.back().bsdName;
            return true;
        });
        return victim;
    }

    bool isMounted(const std::string& volume) const {
        // The world outlives the pointer into it.
        const SimulatedWorld world = stateFile().read();
        const SimulatedVolume* found = world.findVolume(volume);
        return found && found->mounted;
    }

    nlohmann::json storedSummary(const storetest::StoreFixture& fixture) const {
        const auto stored = fixture.defaults->dataForKey(BerthkeepStore::lastActionSummaryKey);
        return stored ? nlohmann::json::parse(std::string(stored->begin(), stored->end()))
                      : nlohmann::json();
    }
};

TEST_F(EjectOnSimulatedMachine, EjectAllLeavesTheHeldDriveMountedAndSaysWhy) {
    const std::vector<std::string> disks = attachMountedSticks({"Alpha", "Bravo", "Charlie"});
    const std::string heldPath = *stateFile().read().findDisk(disks[1])->volumes.back().mountPath;
    holdOpen(heldPath);

    storetest::StoreFixture fixture;
    auto store = makeStore(fixture, builtCoreLibrary());
    // The launch refresh runs the stand-in tools on the thread pool.
    ASSERT_TRUE(test::processEventsUntil(
        [&store] { return store->hasCompletedInitialAsyncUsageRefresh(); }, 20s));
    ASSERT_EQ(store->mountedManagedDriveIDs().size(), 3u);

    test::runTask(store->runUtilityAction(MenubarUtilityAction::Kind::ejectAll), 30s);

    const TransientActionStatus expected{TransientActionStatusAction::ejectAll,
                                         "1 drive still in use", "2 drives ejected",
                                         TransientActionStatusTone::attention};
    ASSERT_FALSE(fixture.statusPresenter->presented.empty());
    EXPECT_EQ(fixture.statusPresenter->presented.back(), expected);
    const auto finished = fixture.sink->named("reliability.eject.finished");
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].metadata.at("ejected_count"), "2");
    EXPECT_EQ(finished[0].metadata.at("still_busy_count"), "1");
    const auto failed = fixture.sink->named("reliability.eject.drive.failed");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_NE(failed[0].metadata.at("error").find("Bravo"), std::string::npos)
        << failed[0].metadata.at("error");
    const auto stored = fixture.defaults->dataForKey(BerthkeepStore::lastActionSummaryKey);
    ASSERT_TRUE(stored);
    EXPECT_EQ(
        nlohmann::json::parse(std::string(stored->begin(), stored->end())),
        nlohmann::json::parse(R"({"kind":"partialSuccess","ejectedCount":2,"stillBusyCount":1})"));

    const SimulatedWorld after = stateFile().read();
    ASSERT_EQ(after.disks.size(), 1u);
    EXPECT_EQ(after.disks[0].bsdName, disks[1]);
    EXPECT_TRUE(after.disks[0].volumes.back().mounted);
    EXPECT_EQ(after.parkedDisks.size(), 2u);
}

TEST_F(EjectOnSimulatedMachine, ReplugedDriveMountsFromTheStore) {
    SimulatedWorld world;
    world.mountRoot = mountRoot();
    const std::string disk =
        attachPreset(world, SimulatedDrivePreset::usbStick, std::string("Alpha"));
    ejectDisk(world, disk);
    replugDisk(world, disk, true);
    stateFile().write(world);

    storetest::StoreFixture fixture;
    auto store = makeStore(fixture);
    ASSERT_TRUE(test::processEventsUntil(
        [&store] { return store->hasCompletedInitialAsyncUsageRefresh(); }, 20s));
    ASSERT_EQ(store->detectedDrives().size(), 1u);
    ASSERT_FALSE(store->detectedDrives()[0].isMounted());

    test::runTask(store->mountDrive(store->detectedDrives()[0].id()), 20s);

    ASSERT_FALSE(fixture.statusPresenter->presented.empty());
    EXPECT_EQ(fixture.statusPresenter->presented.back().title, "1 drive mounted");
    const SimulatedWorld after = stateFile().read();
    ASSERT_EQ(after.disks.size(), 1u);
    EXPECT_TRUE(after.disks[0].volumes.back().mounted);
}

// The store acts 150 ms after the click, on the record the menu showed. A drive
// pulled out meanwhile may have handed its disk name to a new drive: that drive
// must stay mounted, and the user hears that the chosen one is gone.
TEST_F(EjectOnSimulatedMachine, StaleCardChoiceEjectsNoDriveThatTookItsDiskName) {
    const std::vector<std::string> disks = attachMountedSticks({"Aone", "Btwo", "Cthree"});
    storetest::StoreFixture fixture;
    auto store = makeRefreshedStore(fixture);
    const std::string btwo = driveID(*store, "Btwo");
    const std::string victim = replaceWithVictim(disks[1]);

    test::runTask(store->runDriveAction(DriveAction::Kind::eject, btwo), 30s);

    EXPECT_TRUE(isMounted(victim));
    const TransientActionStatus gone{TransientActionStatusAction::eject, "1 drive not attached",
                                     "Btwo", TransientActionStatusTone::attention};
    ASSERT_FALSE(fixture.statusPresenter->presented.empty());
    EXPECT_EQ(fixture.statusPresenter->presented.back(), gone);
    const auto failed = fixture.sink->named("reliability.eject.drive.failed");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].metadata.at("error"), "Drive no longer attached");
    EXPECT_NE(storedSummary(fixture).at("kind"), "ejected");
}

// The same race under Eject All: the other drives go, the new one stays.
TEST_F(EjectOnSimulatedMachine, EjectAllLeavesADriveThatTookAShownDrivesDiskName) {
    const std::vector<std::string> disks = attachMountedSticks({"Aone", "Btwo", "Cthree"});
    storetest::StoreFixture fixture;
    auto store = makeRefreshedStore(fixture);
    const std::vector<std::string> mounted = store->mountedManagedDriveIDs();
    const std::set<std::string> shown(mounted.begin(), mounted.end());
    const std::string victim = replaceWithVictim(disks[1]);

    test::runTask(store->runUtilityAction(MenubarUtilityAction::Kind::ejectAll, shown), 30s);

    EXPECT_TRUE(isMounted(victim));
    EXPECT_FALSE(stateFile().read().findDisk(disks[0]));
    EXPECT_FALSE(stateFile().read().findDisk(disks[2]) &&
                 stateFile().read().findDisk(disks[2])->volumes.back().mounted);
    const TransientActionStatus expected{TransientActionStatusAction::ejectAll,
                                         "1 drive not attached", "2 drives ejected",
                                         TransientActionStatusTone::attention};
    ASSERT_FALSE(fixture.statusPresenter->presented.empty());
    EXPECT_EQ(fixture.statusPresenter->presented.back(), expected);
    // The drive that was pulled out is neither ejected nor busy.
    EXPECT_EQ(storedSummary(fixture).at("kind"), "ejected");
}

// Eject All and Eject & Sleep take only the drives the menu showed: one plugged
// in after the menu was drawn stays mounted.
TEST_F(EjectOnSimulatedMachine, UtilityEjectsTakeOnlyTheDrivesTheMenuShowed) {
    for (const auto kind :
         {MenubarUtilityAction::Kind::ejectAll, MenubarUtilityAction::Kind::ejectAndSleep}) {
        SCOPED_TRACE(static_cast<int>(kind));
        const std::vector<std::string> disks = attachMountedSticks({"Aone", "Late"});
        const SimulatedWorld before = stateFile().read();
        const std::string aone = before.findDisk(disks[0])->volumes.back().bsdName;
        const std::string late = before.findDisk(disks[1])->volumes.back().bsdName;
        storetest::StoreFixture fixture;
        auto store = makeStore(fixture);
        ASSERT_TRUE(test::processEventsUntil(
            [&store] { return store->hasCompletedInitialAsyncUsageRefresh(); }, 20s));
        const std::set<std::string> shown{driveID(*store, "Aone")};

        test::runTask(store->runUtilityAction(kind, shown), 30s);

        EXPECT_FALSE(isMounted(aone));
        EXPECT_TRUE(isMounted(late));
        store.reset();
        EXPECT_TRUE(finishDetachedWork(20s));
    }
}

// A disk tool that says it failed yet exits 0 ejects nothing: the drives are
// still mounted, and that is what the user and the log are told.
TEST_F(EjectOnSimulatedMachine, EjectThatEndsWellButLeavesTheDriveMountedFails) {
    attachMountedSticks({"Alpha", "Bravo"});
    ScriptedBehaviour quiet;
    quiet.verb = "eject";
    quiet.exitStatus = 0;
    quiet.standardOutput = "Error: could not eject the disk\n";
    quiet.standardError = "Error: could not eject the disk\n";
    addBehaviour(quiet);
    storetest::StoreFixture fixture;
    auto store = makeRefreshedStore(fixture);

    test::runTask(store->runUtilityAction(MenubarUtilityAction::Kind::ejectAll), 30s);

    EXPECT_TRUE(fixture.sink->named("reliability.eject.drive.succeeded").empty());
    const auto failed = fixture.sink->named("reliability.eject.drive.failed");
    ASSERT_EQ(failed.size(), 2u);
    EXPECT_EQ(failed[0].metadata.at("error"), "Error: could not eject the disk");
    const auto finished = fixture.sink->named("reliability.eject.finished");
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].metadata.at("ejected_count"), "0");
    EXPECT_EQ(storedSummary(fixture).at("kind"), "stillBusy");
    EXPECT_EQ(store->mountedManagedDriveIDs().size(), 2u);
}

// The stand-in tool refuses a held volume whose mount root is a link, as the
// program's own monitor sees it held.
TEST_F(EjectOnSimulatedMachine, StandInRefusesAHeldVolumeReachedThroughALink) {
    const QString real = QString::fromStdString(mountRoot()) + "-real";
    const QString link = QString::fromStdString(mountRoot()) + "-link";
    ASSERT_TRUE(QDir().mkpath(real));
    ASSERT_TRUE(QFile::link(real, link));
    SimulatedWorld world;
    world.mountRoot = link.toStdString();
    const std::string disk =
        attachPreset(world, SimulatedDrivePreset::usbStick, std::string("Held"));
    stateFile().write(world);
    holdOpen(*stateFile().read().findDisk(disk)->volumes.back().mountPath);

    DiskUtilityActionCommand command;
    command.executablePath = inventorytest::standInPath("diskutil");
    command.arguments = {"eject", disk};
    command.failureMessage = "diskutil eject failed";
    command.errorDomain = DriveOperationError::ejectDomain;
    std::string refusal;
    try {
        test::runTask(runDiskUtilityAction(command, nullptr), 20s);
    } catch (const DriveOperationError& error) {
        refusal = error.localizedDescription();
    }
    EXPECT_NE(refusal.find("in use by 1 process"), std::string::npos) << refusal;
    EXPECT_TRUE(stateFile().read().findDisk(disk));
}

} // namespace
} // namespace berthkeep
