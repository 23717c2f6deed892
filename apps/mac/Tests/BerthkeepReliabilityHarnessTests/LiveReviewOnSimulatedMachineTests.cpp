#include <gtest/gtest.h>

#include <QAbstractButton>

#include "../BerthkeepTests/Store/SimulatedMachineStoreSupport.hpp"
#include "../BerthkeepTests/Store/StoreFixture.hpp"
#include "BerthkeepReliabilityHarness/LiveReviewSurface.hpp"
#include "HarnessTestSupport.hpp"
#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;

class LiveReviewOnSimulatedMachine : public inventorytest::SimulatedMachineTest {};

// The harness's sleep button on the real inventory and ejector: the drives of
// the simulated machine come off.
TEST_F(LiveReviewOnSimulatedMachine, SimulatedSleepEjectsTheDrives) {
    attachMountedSticks({"Alpha", "Bravo"});

    storetest::StoreFixture fixture;
    storetest::onSimulatedMachine(fixture, stateFile());
    fixture.customEjector = storetest::simulatedMachineEjector(stateFile());
    fixture.liveClock = true;
    fixture.performInitialDriveUsageRefresh = false;
    const auto store = fixture.make();
    // After the launch refresh has read the disks, as a person at the window would.
    const auto disksRead = [&store] {
        const auto drives = store->mountedManagedDrives();
        return drives.size() == 2 &&
               std::all_of(drives.begin(), drives.end(), [](const auto& d) { return d.bsdName(); });
    };
    ASSERT_TRUE(test::processEventsUntil(disksRead, 10s));

    harnesstest::StandInMenu menu;
    LiveReviewSurface surface(*store, menu.factory(), {});
    QAbstractButton* sleep = nullptr;
    for (auto* candidate : surface.findChildren<QAbstractButton*>()) {
        if (candidate->text() == QStringLiteral("Simulate Sleep Hook")) {
            sleep = candidate;
        }
    }
    ASSERT_NE(sleep, nullptr);
    sleep->click();

    const auto mountedVolumes = [this] {
        int mounted = 0;
        for (const auto& disk : stateFile().read().disks) {
            for (const auto& volume : disk.volumes) {
                mounted += volume.mounted ? 1 : 0;
            }
        }
        return mounted;
    };
    EXPECT_TRUE(test::processEventsUntil([&] { return mountedVolumes() == 0; }, 15s));
    EXPECT_EQ(store->lastObservedTrigger(), TriggerReason::systemSleep);
    // The attempt (its closing refresh included) ends before the store goes.
    EXPECT_TRUE(test::processEventsUntil([&] { return !store->ejectAttempt().isRunning(); }, 15s));
    test::processQueuedEvents();
}

} // namespace
} // namespace berthkeep
