#include "Berthkeep/MenuBar/UtilitySection.hpp"

#include <gtest/gtest.h>

#include <QEnterEvent>

#include "Berthkeep/MenuBar/MenuBarLayout.hpp"
#include "Berthkeep/MenuBar/MenuBarPalette.hpp"
#include "MenuBarTestSupport.hpp"

namespace berthkeep {
namespace {

using Lines = std::vector<std::string>;
using Kind = MenubarUtilityAction::Kind;

const MenubarUtilityAction kEjectAll{Kind::ejectAll, "Eject All", true};
const MenubarUtilityAction kEjectAndSleep{Kind::ejectAndSleep, "Eject Drives & Sleep", false};

TEST(UtilitySection, RowsAndLinesFollowWhatIsOffered) {
    struct Case {
        std::string name;
        std::optional<MenubarRemediationAction> remediation;
        std::vector<MenubarUtilityAction> utilities;
        Lines expected;
    };
    const std::vector<Case> cases{
        {"nothing offered",
         std::nullopt,
         {},
         {"---", "(Send Feedback\u2026)", "(Settings\u2026)", "---", "(Quit)"}},
        {"one utility action",
         std::nullopt,
         {kEjectAll},
         {"---", "(Eject All)", "---", "(Send Feedback\u2026)", "(Settings\u2026)", "---",
          "(Quit)"}},
        {"remediation alone",
         MenubarRemediationAction::enableFullMonitoring(),
         {},
         {"---", "(Enable Full Monitoring\u2026)", "(Send Feedback\u2026)", "(Settings\u2026)",
          "---", "(Quit)"}},
        {"everything",
         MenubarRemediationAction::openSystemSettings(),
         {kEjectAll, kEjectAndSleep},
         {"---", "(Open Settings\u2026)", "(Eject All)", "(~Eject Drives & Sleep)", "---",
          "(Send Feedback\u2026)", "(Settings\u2026)", "---", "(Quit)"}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        UtilitySection section(test.remediation, test.utilities, {});
        menutest::layOut(section, 328);
        EXPECT_EQ(menutest::transcript(section), test.expected);
        for (const MenuActionButton* button :
             menutest::visibleChildren<MenuActionButton>(section)) {
            EXPECT_EQ(button->width(), 328);
            EXPECT_GE(button->height(), MenuBarLayout::utilityRowMinHeight);
        }
    }
}

// The owner may hold any row back, rows made for new actions included.
TEST(UtilitySection, EachRowCallsItsOwnCallbackAndDisabledOrHeldRowsNone) {
    Lines calls;
    QString held = "Settings\u2026";
    UtilitySection::Callbacks callbacks{
        [&calls](Kind kind) { calls.push_back("utility " + toString(kind)); },
        [&calls](const MenubarRemediationAction& action) {
            calls.push_back("remediation " + action.title);
        },
        [&calls] { calls.push_back("feedback"); },
        [&calls] { calls.push_back("settings"); },
        [&calls] { calls.push_back("quit"); },
        [&held](const MenuActionButton& row) {
            return row.text() != held;
        }};
    UtilitySection section(MenubarRemediationAction::enableFullMonitoring(),
                           {kEjectAll, kEjectAndSleep}, callbacks);
    const auto clickAll = [&section] {
        for (MenuActionButton* button : menutest::visibleChildren<MenuActionButton>(section)) {
            button->click();
        }
    };
    clickAll();
    EXPECT_EQ(calls, (Lines{"remediation Enable Full Monitoring\u2026", "utility ejectAll",
                            "feedback", "quit"}));

    calls.clear();
    held = "Eject All";
    section.setActions(std::nullopt, {kEjectAll});
    clickAll();
    EXPECT_EQ(calls, (Lines{"feedback", "settings", "quit"}));
}

TEST(UtilitySection, HoverFillsEnabledRowsOnly) {
    UtilitySection section(std::nullopt, {kEjectAll, kEjectAndSleep}, {});
    menutest::layOut(section, 328);
    const auto rows = menutest::visibleChildren<MenuActionButton>(section);
    ASSERT_GE(rows.size(), 2u);
    const QPalette palette = section.palette();
    for (MenuActionButton* row : {rows[0], rows[1]}) {
        SCOPED_TRACE(row->text().toStdString());
        const bool enabled = row->isEnabled();
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QCoreApplication::sendEvent(row, &enter);
        EXPECT_EQ(row->isHovered(), enabled);
        EXPECT_EQ(row->titleColor(), enabled ? MenuBarPalette::menuHoverForeground(palette)
                                             : MenuBarPalette::secondary(palette));
        EXPECT_EQ(row->hoverBackground(),
                  enabled ? MenuBarPalette::menuHoverFill(palette) : QColor(Qt::transparent));
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(row, &leave);
        EXPECT_FALSE(row->isHovered());
        EXPECT_EQ(row->titleColor(),
                  enabled ? MenuBarPalette::primary(palette) : MenuBarPalette::secondary(palette));
    }
}

TEST(MenuBarPalette, SharedColoursMoveTogether) {
    QPalette light;
    light.setColor(QPalette::Window, Qt::white);
    light.setColor(QPalette::WindowText, Qt::black);
    light.setColor(MenuBarPalette::accentRole, QColor(0, 100, 220));
    QPalette changed = light;
    changed.setColor(QPalette::WindowText, QColor(30, 30, 30));
    changed.setColor(MenuBarPalette::accentRole, QColor(200, 40, 120));

    EXPECT_EQ(MenuBarPalette::scopeRowSeparator(changed),
              MenuBarPalette::utilitySeparator(changed));
    EXPECT_NE(MenuBarPalette::utilitySeparator(light), MenuBarPalette::utilitySeparator(changed));
    for (const auto color : {&MenuBarPalette::menuHoverFill, &MenuBarPalette::ejectingStatus,
                             &MenuBarPalette::mountingStatus, &MenuBarPalette::ejectingIndicator}) {
        EXPECT_NE(color(light), color(changed));
        EXPECT_EQ(color(changed).rgb(), QColor(200, 40, 120).rgb());
    }
    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    dark.setColor(QPalette::WindowText, Qt::white);
    EXPECT_TRUE(MenuBarPalette::isDark(dark));
    EXPECT_FALSE(MenuBarPalette::isDark(light));
    EXPECT_EQ(MenuBarPalette::primary(dark), QColor(Qt::white));
}

} // namespace
} // namespace berthkeep
