#include "Berthkeep/Shell/SettingsWindowController.hpp"

#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QWidget>

#include <gtest/gtest.h>

#include "../Settings/SettingsTestSupport.hpp"
#include "Berthkeep/Settings/BerthkeepSettingsView.hpp"
#include "Berthkeep/Settings/SettingsAboutCard.hpp"
#include "Berthkeep/Shell/BerthkeepForegroundPresentationCoordinator.hpp"
#include "BerthkeepShared/BerthkeepBundleConfiguration.hpp"
#include "platform/Activation/RecordingApplicationActivation.hpp"
#include "platform/Bundle/AppBundle.hpp"

#include <QLabel>

namespace berthkeep {
namespace {

using Call = RecordingApplicationActivation::Call;

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
    EXPECT_EQ(window->size(), QSize(720, 620));
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
        EXPECT_EQ(controller.page()->size(), QSize(720, 620));
        if (!isConfigured) {
            EXPECT_EQ(bar, nullptr);
            EXPECT_EQ(controller.window()->height(), 620);
            continue;
        }
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(controller.window()->height(), 620 + bar->height()) << "above the page";
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

} // namespace
} // namespace berthkeep
