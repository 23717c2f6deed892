#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>

#include <nlohmann/json.hpp>

#include "../Inventory/InventoryTestSupport.hpp"
#include "../Store/SimulatedMachineStoreSupport.hpp"
#include "../Store/StoreFixture.hpp"
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

} // namespace
} // namespace berthkeep
