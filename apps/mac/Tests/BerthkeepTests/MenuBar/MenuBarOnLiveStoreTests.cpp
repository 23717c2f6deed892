#include "Berthkeep/MenuBar/MenuBarContentView.hpp"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>

#include "../Store/StoreFixture.hpp"
#include "../Store/StoreOnSimulatedMachine.hpp"
#include "MenuBarTestSupport.hpp"
#include "platform/SimulatedMachine/SimulatedDrivePresets.hpp"
#include "platform/SimulatedMachine/SimulatedMachineActions.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;

class MenuBarOnLiveStore : public storetest::StoreOnSimulatedMachine {
protected:
    // The real inventory and core over this machine, ejects recorded, no start-up
    // refreshes: the test drives them.
    std::unique_ptr<BerthkeepStore> makeStore(storetest::StoreFixture& fixture) {
        storetest::onSimulatedMachine(fixture, stateFile());
        fixture.customEjector = nullptr; // the recording one
        fixture.performInitialAsyncInventoryRefresh = false;
        fixture.performInitialDriveUsageRefresh = false;
        return fixture.make();
    }
};

// The real inventory and core over a simulated machine with two USB sticks; the
// menu follows the store and a card's eject item reaches the store's eject.
TEST_F(MenuBarOnLiveStore, ShowsTheMachinesDrivesAndEjectsTheChosenOne) {
    SimulatedWorld world;
    world.createMountDirectories = false;
    attachPreset(world, SimulatedDrivePreset::internalDisk);
    attachPreset(world, SimulatedDrivePreset::usbStick, std::string("Travel_Stick"));
    attachPreset(world, SimulatedDrivePreset::usbStick, std::string("Backup"));
    stateFile().write(world);

    storetest::StoreFixture fixture;
    const auto store = makeStore(fixture);

    MenuBarContentView::Callbacks callbacks;
    callbacks.onDriveAction = [&store](DriveAction::Kind kind, const std::string& driveID) {
        store->perform(kind, driveID);
    };
    MenuBarContentView view(store->currentState(), callbacks);
    QObject::connect(store.get(), &BerthkeepStore::currentStateChanged, &view,
                     [&view, &store] { view.setState(store->currentState()); });
    menutest::layOut(view);

    const std::vector<std::string> lines = menutest::transcript(view);
    ASSERT_GE(lines.size(), 9u);
    const std::vector<std::string> head(lines.begin(), lines.begin() + 9);
    EXPECT_EQ(head, (std::vector<std::string>{"All managed drives safe", "No active use detected",
                                              "Last attempt: No managed drives found", "[card]",
                                              "Backup", "Safe", "[card]", "Travel Stick", "Safe"}));

    const auto cards = menutest::visibleChildren<DriveGroupCard>(view);
    ASSERT_EQ(cards.size(), 2u);
    const std::size_t refreshes = fixture.sink->named("inventory.refresh.result").size();
    const DriveGroupCard& backup = *cards.front();
    ASSERT_TRUE(backup.singleDriveAction().has_value());
    const std::string backupID = backup.singleDriveAction()->driveID;
    ASSERT_EQ(backup.actions().size(), 1);
    EXPECT_EQ(backup.actions().front()->text().toStdString(), "Eject");
    backup.actions().front()->trigger();

    ASSERT_TRUE(
        test::processEventsUntil([&fixture] { return !fixture.ejector->ejected.empty(); }, 10s));
    EXPECT_EQ(fixture.ejector->ejected, std::vector<std::string>{backupID});
    // The refresh that follows an eject ends before the store goes.
    fixture.clock->advance(5s);
    EXPECT_TRUE(test::processEventsUntil(
        [&] { return fixture.sink->named("inventory.refresh.result").size() > refreshes; }, 10s));
}

// The last card's menu is open when its drive is pulled and another is plugged
// in: the menu closes under the pointer, and the click meant for its Eject lands
// on Eject All. It ejects nothing until the rows have held still.
TEST_F(MenuBarOnLiveStore, AClickThatLandsAfterTheMachineChangedUnderItEjectsNothing) {
    SimulatedWorld world;
    world.createMountDirectories = false;
    attachPreset(world, SimulatedDrivePreset::internalDisk);
    attachPreset(world, SimulatedDrivePreset::usbStick, std::string("Aone"));
    attachPreset(world, SimulatedDrivePreset::usbStick, std::string("Btwo"));
    const std::string cthree =
        attachPreset(world, SimulatedDrivePreset::usbStick, std::string("Cthree"));
    stateFile().write(world);

    storetest::StoreFixture fixture;
    const auto store = makeStore(fixture);

    int ejectAllClicks = 0;
    MenuBarContentView::Callbacks callbacks;
    callbacks.onUtilityAction = [&store, &ejectAllClicks](MenubarUtilityAction::Kind kind) {
        ++ejectAllClicks;
        store->perform(kind);
    };
    MenuBarContentView view(store->currentState(), callbacks);
    view.setLayoutShiftGuard(MenuLayoutShiftGuard(fixture.clock, 500ms));
    QObject::connect(store.get(), &BerthkeepStore::currentStateChanged, &view,
                     [&view, &store] { view.setState(store->currentState()); });
    menutest::layOut(view);
    QCoreApplication::processEvents();

    auto cards = menutest::visibleChildren<DriveGroupCard>(view);
    ASSERT_EQ(cards.size(), 3u);
    DriveGroupCard& last = *cards.back();
    ASSERT_EQ(last.summaryTitle(), "Cthree");
    last.popupMenu(last.mapToGlobal(QPoint(4, 4)));
    ASSERT_TRUE(last.openMenu() && last.openMenu()->isVisible());

    stateFile().update([&cthree](SimulatedWorld& machine) {
        detachDevice(machine, cthree);
        attachPreset(machine, SimulatedDrivePreset::usbStick, std::string("Victim3"));
        return true;
    });
    // A refresh runs the stand-in tools one after another; instrumented on a
    // loaded machine, each takes most of a second.
    test::runTask(store->refreshInventoryNow(), inventorytest::answeringCallTimeout);
    ASSERT_TRUE(test::processEventsUntil(
        [&view] {
            const auto lines = menutest::transcript(view);
            return std::find(lines.begin(), lines.end(), "Victim3") != lines.end();
        },
        10s));

    MenuActionButton* ejectAll = nullptr;
    for (MenuActionButton* row : menutest::visibleChildren<MenuActionButton>(view)) {
        ejectAll = row->text() == "Eject All" ? row : ejectAll;
    }
    ASSERT_NE(ejectAll, nullptr);
    ejectAll->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(ejectAllClicks, 0);
    EXPECT_TRUE(fixture.ejector->ejected.empty());

    // Once the rows held still, the same click ejects. The new drive's usage
    // check can still change its card after the refresh, which starts the wait
    // again; each round lets that settle first.
    for (int round = 0; round < 20 && ejectAllClicks == 0; ++round) {
        test::processEventsFor(50ms);
        fixture.clock->advance(500ms);
        ejectAll->click();
    }
    EXPECT_EQ(ejectAllClicks, 1);
    EXPECT_TRUE(
        test::processEventsUntil([&fixture] { return !fixture.ejector->ejected.empty(); }, 10s));
}

} // namespace
} // namespace berthkeep
