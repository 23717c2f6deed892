#include "Berthkeep/MenuBar/BerthkeepMenubarExtraScene.hpp"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>

#include "../Store/StoreFixture.hpp"
#include "../Store/StoreTestSupport.hpp"
#include "MenuBarTestSupport.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;

// The menu over a store on fakes, with a dispatcher that writes down each step
// and keeps the scheduled actions for the test to run.
struct SceneFixture {
    explicit SceneFixture(MenuBarExtraHost::Mode mode = MenuBarExtraHost::Mode::window) {
        fixture.inventory->drives = {storetest::drive("a", "Alpha")};
        store = fixture.makeQuiet();

        BerthkeepMenubarExtraScene::Options options;
        options.actionDispatcher =
            MenuBarExtraActionDispatcher([this] { steps.push_back("dismiss"); },
                                         [this](MenuBarExtraActionDispatcher::Action action) {
                                             steps.push_back("schedule");
                                             scheduled.push_back(std::move(action));
                                         });
        options.feedbackURLProvider = [this] {
            ++feedbackAsked;
            return QUrl(QStringLiteral("https://example.com/feedback"));
        };
        options.openFeedbackURL = [this](const QUrl& url) {
            opened.push_back(url);
        };
        options.mode = mode;
        options.settingsDelay = 20ms;
        scene = std::make_unique<BerthkeepMenubarExtraScene>(
            *store, [this] { ++settingsShown; }, options);
    }

    storetest::StoreFixture fixture;
    std::unique_ptr<BerthkeepStore> store;
    std::vector<std::string> steps;
    std::vector<MenuBarExtraActionDispatcher::Action> scheduled;
    int feedbackAsked = 0;
    std::vector<QUrl> opened;
    int settingsShown = 0;
    std::unique_ptr<BerthkeepMenubarExtraScene> scene;
};

TEST(BerthkeepMenubarExtraScene, EveryClickClosesTheMenuFirstAndOnlyStoreCallsWaitForTheDelay) {
    struct Case {
        const char* label;
        std::function<void(BerthkeepMenubarExtraScene&)> click;
        std::vector<std::string> steps;
    };
    const std::vector<std::string> dispatched{"dismiss", "schedule"};
    const std::vector<std::string> closedOnly{"dismiss"};
    const std::vector<Case> cases{
        {"utility",
         [](auto& s) { s.performMenuUtilityAction(MenubarUtilityAction::Kind::ejectAll); },
         dispatched},
        {"drive", [](auto& s) { s.performMenuDriveAction(DriveAction::Kind::eject, "a"); },
         dispatched},
        {"group",
         [](auto& s) { s.performMenuDriveGroupAction(DriveGroupActionKind::ejectAll, "disk4"); },
         dispatched},
        {"feedback", [](auto& s) { s.performMenuSendFeedback(); }, dispatched},
        {"quit", [](auto& s) { s.performMenuQuit(); }, dispatched},
        {"remediation",
         [](auto& s) {
             s.performMenuRemediationAction(MenubarRemediationAction::openSystemSettings());
         },
         closedOnly},
        {"settings", [](auto& s) { s.openSettingsFromMenu(); }, closedOnly},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        SceneFixture f;
        c.click(*f.scene);
        EXPECT_EQ(f.steps, c.steps);
    }
}

TEST(BerthkeepMenubarExtraScene, EachCallRunsWhenItsTurnComes) {
    SceneFixture f;

    // Eject All reaches the store only when the scheduled action runs.
    f.scene->performMenuUtilityAction(MenubarUtilityAction::Kind::ejectAll);
    test::processQueuedEvents();
    EXPECT_TRUE(f.fixture.ejector->ejected.empty());
    f.scheduled.back()();
    EXPECT_TRUE(test::processEventsUntil([&] { return !f.fixture.ejector->ejected.empty(); }, 5s));
    EXPECT_EQ(f.fixture.ejector->ejected, std::vector<std::string>{"a"});

    // The feedback address is asked for when the action runs, not at the click.
    f.scene->performMenuSendFeedback();
    EXPECT_EQ(f.feedbackAsked, 0);
    f.scheduled.back()();
    EXPECT_EQ(f.feedbackAsked, 1);
    EXPECT_EQ(f.opened, std::vector<QUrl>{QUrl(QStringLiteral("https://example.com/feedback"))});

    // Remediation on the next turn of the loop; settings after their delay.
    f.scene->performMenuRemediationAction(MenubarRemediationAction::openSystemSettings());
    EXPECT_TRUE(f.fixture.urlOpener->requests().empty());
    test::processQueuedEvents();
    EXPECT_EQ(f.fixture.urlOpener->requests().size(), 1u);
    f.scene->openSettingsFromMenu();
    test::processQueuedEvents();
    EXPECT_EQ(f.settingsShown, 0);
    EXPECT_TRUE(test::processEventsUntil([&] { return f.settingsShown == 1; }, 2s));
}

// Eject All and a card's group eject act on the drives the menu showed at the
// click: a drive that turns up before the action runs 150 ms later stays.
TEST(BerthkeepMenubarExtraScene, EjectsTakeOnlyTheDrivesShownAtTheClick) {
    for (const bool group : {false, true}) {
        SCOPED_TRACE(group ? "group" : "eject all");
        SceneFixture f;
        if (group) {
            f.scene->performMenuDriveGroupAction(DriveGroupActionKind::ejectAll, "a");
        } else {
            f.scene->performMenuUtilityAction(MenubarUtilityAction::Kind::ejectAll);
        }
        f.fixture.inventory->drives.push_back(
            storetest::drive("b", "Bravo", true, DetectedDrive::Scope::managed, std::nullopt,
                             group ? std::optional<std::string>("a") : std::nullopt));
        test::runTask(f.store->refreshInventoryNow());
        ASSERT_EQ(f.store->mountedManagedDriveIDs().size(), 2u);

        f.scheduled.back()();
        ASSERT_TRUE(test::processEventsUntil(
            [&] { return !f.fixture.sink->named("reliability.eject.finished").empty(); }, 5s));
        const auto started = f.fixture.sink->named("reliability.trigger.started");
        ASSERT_EQ(started.size(), 1u);
        EXPECT_EQ(started[0].metadata.at("drive_names"), "Alpha");
        EXPECT_EQ(f.fixture.ejector->ejected, std::vector<std::string>{"a"});
    }
}

TEST(BerthkeepMenubarExtraScene, TheMenuFollowsTheStore) {
    SceneFixture f;
    menutest::layOut(f.scene->content());
    const auto before = menutest::transcript(f.scene->content());
    EXPECT_NE(std::find(before.begin(), before.end(), "Alpha"), before.end());

    f.fixture.inventory->drives.push_back(storetest::drive("b", "Bravo"));
    test::runTask(f.store->refreshInventoryNow());
    test::processQueuedEvents();
    menutest::layOut(f.scene->content());
    const auto after = menutest::transcript(f.scene->content());
    EXPECT_NE(std::find(after.begin(), after.end(), "Bravo"), after.end());
    EXPECT_NE(std::find(after.begin(), after.end(), "(Eject All)"), after.end());

    // With BERTHKEEP_MENU_PNG_DIR set, the live menu is kept there for a look.
    const QString folder = qEnvironmentVariable("BERTHKEEP_MENU_PNG_DIR");
    if (!folder.isEmpty()) {
        EXPECT_TRUE(f.scene->content().grab().save(folder + "/live-scene.png"));
    }
}

// Focus once carried over from the last opening, so the same Tab, Return that
// had moved to a card ran Eject All.
TEST(BerthkeepMenubarExtraScene, EveryOpeningStartsWithTheFocusOnTheFirstCard) {
    SceneFixture f(MenuBarExtraHost::Mode::trayPopup);
    f.scene->show();
    MenuBarExtraHost& host = f.scene->host();
    for (int opening = 0; opening < 2; ++opening) {
        SCOPED_TRACE(opening);
        host.open();
        test::processQueuedEvents();
        const auto cards = menutest::visibleChildren<DriveGroupCard>(f.scene->content());
        ASSERT_FALSE(cards.empty());
        EXPECT_EQ(QApplication::focusWidget(), cards.front());
        EXPECT_TRUE(cards.front()->hasFocus());
        QKeyEvent backtab(QEvent::KeyPress, Qt::Key_Backtab, Qt::ShiftModifier);
        QCoreApplication::sendEvent(QApplication::focusWidget(), &backtab);
        EXPECT_EQ(QApplication::focusWidget()->accessibleName(), "Quit");
        host.dismiss();
    }
    EXPECT_TRUE(f.steps.empty());
}

// Usage probes republish an equal state every few seconds; neither the menu nor
// the icon is drawn again for it.
TEST(BerthkeepMenubarExtraScene, AnEqualStateRedrawsNeitherMenuNorIcon) {
    SceneFixture f;
    f.scene->show();
    menutest::layOut(f.scene->content());
    menutest::EventCounter counter(QEvent::WindowIconChange);
    f.scene->host().panel()->installEventFilter(&counter);
    const auto cards = menutest::visibleChildren<DriveGroupCard>(f.scene->content());

    emit f.store->currentStateChanged();
    emit f.store->currentStateChanged();
    test::processQueuedEvents();
    EXPECT_EQ(counter.count, 0);
    EXPECT_EQ(menutest::visibleChildren<DriveGroupCard>(f.scene->content()), cards);
}

} // namespace
} // namespace berthkeep
