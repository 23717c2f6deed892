#include "Berthkeep/Shell/SettingsWindowController.hpp"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QWidget>

#include <gtest/gtest.h>

#include "../MenuBar/MenuBarTestSupport.hpp"
#include "../Settings/SettingsTestSupport.hpp"
#include "Berthkeep/Settings/BerthkeepSettingsView.hpp"
#include "Berthkeep/Settings/SettingsAboutCard.hpp"
#include "Berthkeep/Settings/SettingsPathText.hpp"
#include "Berthkeep/Settings/SettingsSwitch.hpp"
#include "Berthkeep/Shell/BerthkeepForegroundPresentationCoordinator.hpp"
#include "BerthkeepShared/BerthkeepBundleConfiguration.hpp"
#include "platform/Activation/RecordingApplicationActivation.hpp"
#include "platform/Bundle/AppBundle.hpp"

#include <QLabel>

namespace berthkeep {
namespace {

using Call = RecordingApplicationActivation::Call;

// The window's size on the test screen: its own, cut to the screen.
QSize expectedSize(QSize preferred) {
    return preferred.boundedTo(QGuiApplication::primaryScreen()->availableGeometry().size());
}

TEST(SettingsWindowController, OneOpeningHoldsOnePresentationUntilTheWindowCloses) {
    storetest::StoreFixture fixture;
    auto store = settingstest::quietStore(fixture);
    auto activation = std::make_shared<RecordingApplicationActivation>();
    auto coordinator = std::make_shared<BerthkeepForegroundPresentationCoordinator>(activation);
    SettingsWindowController controller(*store, coordinator, false, {});
    EXPECT_EQ(controller.window(), nullptr) << "made on first show";

    controller.show();
    QWidget* window = controller.window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Settings");
    EXPECT_EQ(window->size(), expectedSize(QSize(720, 620)));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(controller.page()->aboutCard()->versionLabel()->text(), "Version dev (dev)");

    controller.show();
    EXPECT_EQ(activation->calls(),
              (std::vector<Call>{Call::setRegular, Call::activate, Call::activate}));

    // A second presentation (an updater window) keeps the policy regular.
    auto updater = coordinator->beginPresentation();
    window->close();
    EXPECT_FALSE(controller.holdsForegroundPresentation());
    updater.reset();
    EXPECT_EQ(activation->calls().back(), Call::setAccessory);
    activation->clearCalls();

    window->showMinimized();
    controller.show();
    EXPECT_EQ(controller.window(), window) << "the window is kept";
    EXPECT_FALSE(window->isMinimized());
    EXPECT_EQ(activation->calls(), (std::vector<Call>{Call::setRegular, Call::activate}));
    window->close();
    EXPECT_EQ(activation->calls().back(), Call::setAccessory);
}

// The update check sits in the window's own application menu, after About,
// only when the bundle names an update feed and key.
TEST(SettingsWindowController, AConfiguredBundleGivesTheWindowAnApplicationMenuWithTheUpdateCheck) {
    const PropertyListValue::Dictionary configured{{"SUFeedURL", std::string("https://a.example")},
                                                   {"SUPublicEDKey", std::string("key")}};
    for (const auto& info : {PropertyListValue::Dictionary{}, configured}) {
        storetest::StoreFixture fixture;
        auto store = settingstest::quietStore(fixture);
        auto coordinator = std::make_shared<BerthkeepForegroundPresentationCoordinator>(
            std::make_shared<RecordingApplicationActivation>());
        const bool isConfigured = BerthkeepBundleConfiguration::hasSparkleUpdateConfiguration(
            InMemoryAppBundle(info).infoDictionary());
        int checks = 0;
        SettingsWindowController controller(*store, coordinator, isConfigured, [&] { ++checks; });
        controller.show();
        QMenuBar* bar = controller.applicationMenuBar();
        EXPECT_EQ(controller.window()->findChild<QMenuBar*>(), bar);
        if (!isConfigured) {
            EXPECT_EQ(bar, nullptr);
            EXPECT_EQ(controller.window()->size(), expectedSize(QSize(720, 620)));
            EXPECT_EQ(controller.page()->height(), controller.window()->height());
            continue;
        }
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(controller.window()->size(), expectedSize(QSize(720, 620 + bar->height())));
        EXPECT_EQ(controller.page()->height(), controller.window()->height() - bar->height())
            << "above the page";
        ASSERT_EQ(bar->actions().size(), 1);
        EXPECT_EQ(bar->actions()[0]->text(), "Berthkeep");
        const QList<QAction*> items = bar->actions()[0]->menu()->actions();
        ASSERT_EQ(items.size(), 3);
        EXPECT_EQ(items[0]->text(), "About Berthkeep");
        EXPECT_TRUE(items[1]->isSeparator());
        EXPECT_EQ(items[2]->text(), QString::fromUtf8("Check for Updates\u2026"));
        items[0]->trigger();
        EXPECT_GT(controller.page()->scrollArea()->verticalScrollBar()->value(), 0)
            << "About shows the page's About card";
        items[2]->trigger();
        EXPECT_EQ(checks, 1);
    }
}

// A screen of 1600 x 1000 at scale 2 leaves 800 x 500 points: the window must
// still open with its title and header on screen, and never below its screen.
TEST(SettingsWindowController, OpensWithinTheScreensFreeAreaAtAnyScale) {
    struct Case {
        const char* name;
        QRect available;
        QRect expected;
    };
    const std::vector<Case> cases{
        {"room to spare", {0, 0, 1600, 1000}, {440, 190, 720, 620}},
        {"scale 2, a panel on top", {0, 28, 800, 472}, {40, 28, 720, 472}},
        {"a second screen to the right", {1600, 0, 1024, 768}, {1752, 74, 720, 620}},
        {"smaller than the window", {0, 0, 640, 400}, {0, 0, 640, 400}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const QRect frame = SettingsWindowController::frameWithin(QSize(720, 620), test.available);
        EXPECT_EQ(frame, test.expected);
        EXPECT_TRUE(test.available.contains(frame));
    }
}

TEST(SettingsWindowController, TheWindowResizesDownToItsMinimumAndScrollsBelowIt) {
    storetest::StoreFixture fixture;
    auto store = settingstest::quietStore(fixture);
    auto coordinator = std::make_shared<BerthkeepForegroundPresentationCoordinator>(
        std::make_shared<RecordingApplicationActivation>());
    SettingsWindowController controller(*store, coordinator, false, {});
    controller.show();
    QWidget* window = controller.window();
    EXPECT_NE(window->minimumSize(), window->maximumSize()) << "resizable";
    EXPECT_EQ(window->minimumSize(), QSize(480, 360));
    window->resize(480, 360);
    test::processQueuedEvents();
    QScrollArea* scrollArea = controller.page()->scrollArea();
    EXPECT_EQ(scrollArea->widget()->width(), scrollArea->viewport()->width())
        << "the page follows the window's width";
    EXPECT_GT(scrollArea->verticalScrollBar()->maximum(), 0);
}

// A drive's path holds its name: a long one must not push the page wider than
// the window, which cut off every switch.
TEST(SettingsWindowController, LongDriveNamesLeaveEverySwitchInView) {
    storetest::StoreFixture fixture;
    const std::string longName(100, 'L');
    fixture.inventory->drives = {storetest::drive("a", longName),
                                 storetest::drive("b", std::string(57, 'M')),
                                 storetest::drive("c", "Short")};
    auto store = settingstest::quietStore(fixture);
    auto coordinator = std::make_shared<BerthkeepForegroundPresentationCoordinator>(
        std::make_shared<RecordingApplicationActivation>());
    SettingsWindowController controller(*store, coordinator, false, {});
    controller.show();
    controller.window()->resize(720, 600);
    test::processQueuedEvents();
    QScrollArea* scrollArea = controller.page()->scrollArea();
    EXPECT_EQ(scrollArea->horizontalScrollBar()->maximum(), 0);
    const QRect viewport = scrollArea->viewport()->rect();
    // Found by their C++ type: neither has its own meta-object, so findChildren
    // would match every widget.
    const auto switches = menutest::visibleChildren<SettingsSwitch>(*controller.page());
    ASSERT_GE(switches.size(), 3u);
    for (const SettingsSwitch* each : switches) {
        const QRect shown(each->mapTo(scrollArea->viewport(), QPoint()), each->size());
        EXPECT_GE(shown.left(), viewport.left()) << each->accessibleName().toStdString();
        EXPECT_LE(shown.right(), viewport.right()) << each->accessibleName().toStdString();
    }
    const auto paths = menutest::visibleChildren<SettingsPathText>(*controller.page());
    ASSERT_EQ(paths.size(), 3u);
    const auto longPath = std::find_if(paths.begin(), paths.end(), [&](SettingsPathText* path) {
        return path->path().contains(QString::fromStdString(longName));
    });
    ASSERT_NE(longPath, paths.end());
    const QString shownText = (*longPath)->visibleText((*longPath)->width());
    EXPECT_TRUE(shownText.startsWith("/Volumes/")) << shownText.toStdString();
    EXPECT_TRUE(shownText.contains(QChar(0x2026))) << "cut in the middle";
    EXPECT_EQ((*longPath)->toolTip(), "/Volumes/" + QString::fromStdString(longName));
    EXPECT_EQ((*longPath)->accessibleName(), (*longPath)->toolTip());
}

// Without a window manager there is no title bar: the keys are the only way out.
TEST(SettingsWindowController, EscapeAndControlWCloseTheWindowFromAnyControl) {
    for (const QKeyCombination keys :
         {QKeyCombination(Qt::Key_Escape), QKeyCombination(Qt::ControlModifier, Qt::Key_W)}) {
        storetest::StoreFixture fixture;
        auto store = settingstest::quietStore(fixture);
        auto activation = std::make_shared<RecordingApplicationActivation>();
        auto coordinator = std::make_shared<BerthkeepForegroundPresentationCoordinator>(activation);
        SettingsWindowController controller(*store, coordinator, false, {});
        controller.show();
        QWidget* window = controller.window();
        QWidget* control = controller.page()->aboutCard()->versionLabel();
        QKeyEvent press(QEvent::KeyPress, keys.key(), keys.keyboardModifiers());
        QCoreApplication::sendEvent(control, &press);
        EXPECT_FALSE(window->isVisible());
        EXPECT_FALSE(controller.holdsForegroundPresentation());
        EXPECT_EQ(activation->calls().back(), Call::setAccessory);
    }
}

} // namespace
} // namespace berthkeep
