#include "Berthkeep/Shell/SettingsWindowController.hpp"

#include <QWidget>

#include <gtest/gtest.h>

#include "../Settings/SettingsTestSupport.hpp"
#include "Berthkeep/Settings/BerthkeepSettingsView.hpp"
#include "Berthkeep/Settings/SettingsAboutCard.hpp"
#include "Berthkeep/Shell/BerthkeepForegroundPresentationCoordinator.hpp"
#include "platform/Activation/RecordingApplicationActivation.hpp"

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

} // namespace
} // namespace berthkeep
