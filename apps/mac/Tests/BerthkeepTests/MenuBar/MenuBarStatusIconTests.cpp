#include "Berthkeep/MenuBar/MenuBarStatusIcon.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(MenuBarStatusIcon, VariantNamesRoundTrip) {
    for (const Variant variant : {Variant::safe, Variant::attention, Variant::limitedProtection,
                                  Variant::ejecting, Variant::mounting}) {
        EXPECT_EQ(menubarIconVariantFromString(toString(variant)), variant);
    }
    EXPECT_EQ(toString(Variant::limitedProtection), "limitedProtection");
    EXPECT_EQ(menubarIconVariantFromString("Safe"), std::nullopt);
}

} // namespace
} // namespace berthkeep
