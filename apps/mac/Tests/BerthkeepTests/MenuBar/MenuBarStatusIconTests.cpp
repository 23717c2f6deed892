#include "Berthkeep/MenuBar/MenuBarStatusIcon.hpp"
#include "Berthkeep/MenuBar/MenuBarStatusLabelImage.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <QImage>

#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "BerthkeepShared/BerthkeepStartupAudit.hpp"
#include "platform/Log/ProcessLog.hpp"
#include "platform/Log/UnifiedLog.hpp"

namespace berthkeep {
namespace {

using Variant = BerthkeepMenubarIcon::Variant;

DriveRowState row(DriveStatus status) {
    DriveRowState state;
    state.id = "disk" + std::to_string(static_cast<int>(status));
    state.status = status;
    return state;
}

TEST(MenuBarStatusIcon, VariantAndOpacityFollowRowsThenGlobalState) {
    struct Case {
        const char* name;
        GlobalSafetyState global;
        std::vector<DriveStatus> rows;
        Variant variant;
        double opacity;
    };
    using S = DriveStatus;
    const Case cases[] = {
        {"empty", GlobalSafetyState::noManagedDrives(), {}, Variant::safe, 0.65},
        {"safe", GlobalSafetyState::safe(), {S::safe}, Variant::safe, 1.0},
        {"attention", GlobalSafetyState::attention(1), {S::busy}, Variant::attention, 1.0},
        {"limited",
         GlobalSafetyState::limitedProtection("x"),
         {},
         Variant::limitedProtection,
         0.82},
        {"working",
         GlobalSafetyState::working(TriggerReason::systemSleep),
         {},
         Variant::ejecting,
         1.0},
        {"unavailable",
         GlobalSafetyState::fullMonitoringUnavailable(),
         {},
         Variant::attention,
         0.82},
        {"verifying", GlobalSafetyState::fullMonitoringVerifying(), {}, Variant::safe, 0.82},
        // Rows override the global state; the opacity does not follow them.
        {"attention+ejecting",
         GlobalSafetyState::attention(1),
         {S::busy, S::ejecting},
         Variant::ejecting,
         1.0},
        {"limited+ejecting",
         GlobalSafetyState::limitedProtection("x"),
         {S::ejecting},
         Variant::ejecting,
         0.82},
        // A mounting row wins even behind an ejecting one.
        {"ejecting then mounting",
         GlobalSafetyState::safe(),
         {S::ejecting, S::mounting},
         Variant::mounting,
         1.0},
        {"empty+mounting",
         GlobalSafetyState::noManagedDrives(),
         {S::mounting},
         Variant::mounting,
         0.65},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MenubarViewState state;
        state.globalState = c.global;
        for (const DriveStatus status : c.rows) {
            state.drives.push_back(row(status));
        }
        EXPECT_EQ(MenuBarStatusIcon::iconVariant(state), c.variant);
        EXPECT_DOUBLE_EQ(MenuBarStatusIcon::baseOpacity(state), c.opacity);
    }
}

TEST(MenuBarStatusIcon, TrayImageCarriesTheOpacity) {
    MenubarViewState state; // noManagedDrives: 0.65
    for (const int ratio : {1, 2}) {
        const QImage image =
            MenuBarStatusIcon::image(state, 18, BerthkeepMenubarIcon::ColorScheme::light,
                                     BerthkeepRuntimeIdentity::productionBundleIdentifier)
                .pixmap(QSize(18, 18), ratio)
                .toImage();
        ASSERT_EQ(image.size(), QSize(18, 18) * ratio);
        // The middle of the drive body: full ink, dimmed.
        EXPECT_NEAR(image.pixelColor(QPoint(7, 9) * ratio).alpha(), 0.65 * 255, 3) << ratio;
    }
}

TEST(MenuBarStatusIcon, VariantNamesRoundTrip) {
    for (const Variant variant : {Variant::safe, Variant::attention, Variant::limitedProtection,
                                  Variant::ejecting, Variant::mounting}) {
        EXPECT_EQ(menubarIconVariantFromString(toString(variant)), variant);
    }
    EXPECT_EQ(toString(Variant::limitedProtection), "limitedProtection");
    EXPECT_EQ(menubarIconVariantFromString("Safe"), std::nullopt);
}

TEST(MenuBarStatusLabelImage, AuditsTheFirstImageOnceAndEveryShowing) {
    MenubarViewState state;
    state.globalState = GlobalSafetyState::attention(2);
    for (const bool debugLogging : {true, false}) {
        SCOPED_TRACE(debugLogging);
        auto log = std::make_shared<CaptureUnifiedLog>();
        BerthkeepStartupAudit::setOutputsForTesting(BerthkeepStartupAudit::Outputs{
            log, std::make_shared<CaptureProcessLog>(), "app.test", debugLogging});
        MenuBarStatusLabelImage label;
        EXPECT_FALSE(label.image(state, BerthkeepMenubarIcon::ColorScheme::light).isNull());
        label.image(state, BerthkeepMenubarIcon::ColorScheme::dark);
        label.itemBecameVisible(state);
        EXPECT_TRUE(label.hasLoggedInitialRender());

        std::vector<std::string> messages;
        for (const UnifiedLogEntry& entry : log->entries()) {
            EXPECT_NE(entry.message.find("global_state=attention(problemDriveCount: 2)"),
                      std::string::npos)
                << entry.message;
            messages.push_back(entry.message);
        }
        ASSERT_EQ(messages.size(), debugLogging ? 2u : 0u);
        if (debugLogging) {
            EXPECT_NE(messages[0].find("Assigned initial menu bar status item image"),
                      std::string::npos);
            EXPECT_NE(messages[1].find("Menu bar status item became visible"), std::string::npos);
        }
    }
    BerthkeepStartupAudit::setOutputsForTesting(std::nullopt);
}

} // namespace
} // namespace berthkeep
