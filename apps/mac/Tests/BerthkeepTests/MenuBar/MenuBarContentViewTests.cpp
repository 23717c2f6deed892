#include "Berthkeep/MenuBar/MenuBarContentView.hpp"

#include <gtest/gtest.h>

#include <QDir>
#include <QEnterEvent>
#include <QImage>

#include "Berthkeep/Domain/MenubarPreviewScenario.hpp"
#include "Berthkeep/MenuBar/MenuBarLayout.hpp"
#include "Berthkeep/MenuBar/MenuBarStatusIcon.hpp"
#include "Berthkeep/MenuBar/SafetySummarySection.hpp"
#include "Berthkeep/MenuBar/UtilitySection.hpp"
#include "MenuBarTestSupport.hpp"

namespace berthkeep {
namespace {

using menutest::kPanelWidth;
using Lines = std::vector<std::string>;

const Lines kFixedRows{"(Send Feedback\u2026)", "(Settings\u2026)", "---", "(Quit)"};

Lines concat(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// With BERTHKEEP_MENU_PNG_DIR set, each rendered state is kept there for a look.
void keepPicture(QWidget& view, const std::string& name) {
    const QString folder = qEnvironmentVariable("BERTHKEEP_MENU_PNG_DIR");
    if (folder.isEmpty()) {
        return;
    }
    QImage image(view.size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(view.palette().color(QPalette::Window));
    view.render(&image);
    QDir().mkpath(folder);
    ASSERT_TRUE(image.save(folder + "/" + QString::fromStdString(name) + ".png"));
}

struct ScenarioCase {
    std::string name;
    MenubarViewState state;
    Lines expected;
    int utilityGap;
};

std::vector<ScenarioCase> scenarioCases() {
    using S = MenubarPreviewScenario;
    const int withList = MenuBarLayout::utilityTopSpacing;
    const int withoutList = MenuBarLayout::utilityTopSpacingWithoutList;
    MenubarViewState ejectingWhileSafe;
    ejectingWhileSafe.globalState = GlobalSafetyState::safe();
    ejectingWhileSafe.drives = {
        {"a", "Alpha", DriveStatus::ejecting, DriveStatusVisibility::activity, {}}};
    MenubarViewState ejectingWhileSleeping = ejectingWhileSafe;
    ejectingWhileSleeping.globalState = GlobalSafetyState::working(TriggerReason::systemSleep);
    MenubarViewState excludedUnderLimited = state(S::excludedDrivesOnly);
    excludedUnderLimited.globalState =
        GlobalSafetyState::limitedProtection("Full Monitoring is off");
    excludedUnderLimited.scopeNote.reset();
    return {
        {"limitedProtection", state(S::limitedProtection),
         concat({{"Limited protection", "Some app activity may not be detected",
                  "Last attempt: No managed drives found", "---", "2 managed drives connected",
                  "---", "(Enable Full Monitoring\u2026)"},
                 kFixedRows}),
         withList},
        {"fullMonitoringUnavailable", state(S::fullMonitoringUnavailable),
         concat({{"Full Monitoring unavailable", "Open Settings to finish setup",
                  "Last attempt: 1 drive still busy", "[card]", "Backup SSD", "[card]",
                  "Archive SSD", "---", "(Open Settings\u2026)"},
                 kFixedRows}),
         withList},
        {"fullMonitoringVerifying", state(S::fullMonitoringVerifying),
         concat({{"Checking drive activity\u2026", "Finishing Full Monitoring setup",
                  "Last attempt: No managed drives found", "[card]", "Backup SSD", "---"},
                 kFixedRows}),
         withList},
        {"safe", state(S::safe),
         concat({{"All managed drives safe", "No active use detected",
                  "1 excluded drive not managed automatically", "Last attempt: 2 drives ejected",
                  "[card]", "Samsung SSD", "Safe", "[card]", "Backup SSD", "Not managed", "---"},
                 kFixedRows}),
         withList},
        {"attention", state(S::attention),
         concat({{"1 drive still in use", "Close apps using the drive and try again",
                  "Last attempt: 1 drive still busy", "[card]", "Backup SSD", "Still in use",
                  "[card]", "Samsung SSD", "Safe", "---"},
                 kFixedRows}),
         withList},
        {"multipleDrivesBusy", state(S::multipleDrivesBusy),
         concat({{"2 drives still in use", "Close apps using the drive and try again",
                  "1 excluded drive not managed automatically", "Last attempt: 2 drives still busy",
                  "[card]", "Backup SSD", "Still in use", "[card]", "Camera Card", "Still in use",
                  "[card]", "Archive SSD", "Not managed", "---"},
                 kFixedRows}),
         withList},
        {"working", state(S::working),
         concat({{"Preparing drives for sleep\u2026", "Ejecting 2 drives",
                  "Last attempt: 1 drive still busy", "[card]", "Backup SSD", "Ejecting", "[card]",
                  "Samsung SSD", "Ejecting", "---"},
                 kFixedRows}),
         withList},
        {"noManagedDrives", state(S::noManagedDrives),
         concat({{"No managed drives connected", "Connect a drive to monitor its safety status",
                  "Last attempt: No managed drives found", "---"},
                 kFixedRows}),
         withoutList},
        {"excludedDrivesOnly", state(S::excludedDrivesOnly),
         concat({{"No managed drives connected", "Connect a drive to monitor its safety status",
                  "2 excluded drives not managed automatically",
                  "Last attempt: No managed drives found", "[card]", "Archive SSD", "[card]",
                  "Travel SSD", "---"},
                 kFixedRows}),
         withList},
        // Nothing to count, so the excluded rows are listed after all.
        {"limitedProtectionExcludedOnly", excludedUnderLimited,
         concat({{"Limited protection", "Full Monitoring is off",
                  "Last attempt: No managed drives found", "[card]", "Archive SSD", "[card]",
                  "Travel SSD", "---"},
                 kFixedRows}),
         withList},
        {"ejectingWhileSafe", ejectingWhileSafe,
         concat(
             {{"Ejecting drives\u2026", "Ejecting 1 drive", "[card]", "Alpha", "Ejecting", "---"},
              kFixedRows}),
         withList},
        {"ejectingWhileSleeping", ejectingWhileSleeping,
         concat({{"Preparing drives for sleep\u2026", "Ejecting 1 drive", "[card]", "Alpha",
                  "Ejecting", "---"},
                 kFixedRows}),
         withList},
    };
}

TEST(MenuBarContentView, EachStateReadsInOrderWithinTheInsets) {
    for (const ScenarioCase& test : scenarioCases()) {
        SCOPED_TRACE(test.name);
        MenuBarContentView view(test.state, {});
        menutest::layOut(view);
        keepPicture(view, test.name);

        EXPECT_EQ(menutest::transcript(view), test.expected);

        const QRect inside(MenuBarLayout::contentInsets.left(), MenuBarLayout::contentInsets.top(),
                           kPanelWidth - MenuBarLayout::contentInsets.left() -
                               MenuBarLayout::contentInsets.right(),
                           view.height() - MenuBarLayout::contentInsets.top() -
                               MenuBarLayout::contentInsets.bottom());
        for (const QWidget* text : menutest::visibleChildren<MenuBarText>(view)) {
            const QRect at = menutest::geometryIn(view, *text);
            EXPECT_TRUE(inside.contains(at)) << text->objectName().toStdString() << " at " << at.x()
                                             << "," << at.y() << " " << at.width();
        }
        const auto utility = menutest::visibleChildren<UtilitySection>(view);
        ASSERT_EQ(utility.size(), 1u);
        const QRect utilityAt = menutest::geometryIn(view, *utility.front());
        EXPECT_EQ(utilityAt.bottom() + 1, inside.bottom() + 1);
        int above = 0;
        for (const QWidget* section : view.findChildren<QWidget*>()) {
            const QRect at = menutest::geometryIn(view, *section);
            if (section->isVisibleTo(&view) &&
                section->parentWidget() == utility.front()->parentWidget() &&
                section != utility.front()) {
                above = std::max(above, at.y() + at.height());
            }
        }
        EXPECT_EQ(utilityAt.y() - above, test.utilityGap);
    }
}

TEST(MenuBarContentView, TheHeaderIconSitsInItsSlotBesideTheTitle) {
    MenuBarContentView view(state(MenubarPreviewScenario::safe), {});
    menutest::layOut(view);
    const auto* icon = view.findChild<MenuBarStatusIcon*>("statusIcon");
    ASSERT_NE(icon, nullptr);
    const QRect iconAt = menutest::geometryIn(view, *icon);
    EXPECT_EQ(iconAt.topLeft(),
              QPoint(MenuBarLayout::contentInsets.left(), MenuBarLayout::contentInsets.top() + 1));
    EXPECT_EQ(icon->size(), QSize(MenuBarLayout::headerIconSize, MenuBarLayout::headerIconSize));

    const auto texts = menutest::visibleChildren<MenuBarText>(view);
    const auto title = std::find_if(texts.begin(), texts.end(), [](const MenuBarText* text) {
        return text->text() == "All managed drives safe";
    });
    ASSERT_NE(title, texts.end());
    EXPECT_EQ(menutest::geometryIn(view, **title).left(), iconAt.right() + 1 + 10);
}

TEST(MenuBarContentView, ANewStateReplacesTheWholeContent) {
    MenuBarContentView view(state(MenubarPreviewScenario::attention), {});
    menutest::layOut(view);
    view.setState(state(MenubarPreviewScenario::noManagedDrives));
    menutest::layOut(view);
    EXPECT_EQ(menutest::transcript(view), concat({{"No managed drives connected",
                                                   "Connect a drive to monitor its safety status",
                                                   "Last attempt: No managed drives found", "---"},
                                                  kFixedRows}));
    const auto headers = view.findChildren<QWidget*>();
    EXPECT_EQ(std::count_if(headers.begin(), headers.end(),
                            [](QWidget* widget) {
                                return dynamic_cast<SafetySummarySection*>(widget) != nullptr;
                            }),
              1);
}

TEST(MenuBarContentView, FollowsADarkPaletteWithoutARebuild) {
    MenubarViewState state = berthkeep::state(MenubarPreviewScenario::attention);
    state.utilityActions = {
        {MenubarUtilityAction::Kind::ejectAll, "Eject All", true},
        {MenubarUtilityAction::Kind::ejectAndSleep, "Eject Drives & Sleep", false}};
    state.driveGroups = {{"disk4", "Samsung T7", {"backup-ssd", "samsung-ssd"}}};
    MenuBarContentView view(state, {});
    menutest::layOut(view);
    const auto texts = menutest::visibleChildren<MenuBarText>(view);
    ASSERT_FALSE(texts.empty());
    const QColor lightTitle = texts.front()->color();

    QPalette dark = view.palette();
    dark.setColor(QPalette::Window, QColor(40, 40, 42));
    dark.setColor(QPalette::WindowText, QColor(236, 236, 236));
    view.setPalette(dark);
    EXPECT_NE(texts.front()->color(), lightTitle);
    EXPECT_EQ(texts.front()->color(), QColor(236, 236, 236));

    const auto rows = menutest::visibleChildren<MenuActionButton>(view);
    ASSERT_FALSE(rows.empty());
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(rows.front(), &enter);
    keepPicture(view, "attention-dark-grouped-hovered");
}

TEST(MenuBarText, WrapsWithoutLimitAndElidesTheLastAllowedLine) {
    const QString longText = "Some app activity may not be detected while Full Monitoring is "
                             "off and the drives keep working from several apps at once";
    for (const int maxLines : {0, 2, 1}) {
        SCOPED_TRACE(maxLines);
        MenuBarText text(longText, QFont(), &MenuBarPalette::primary, maxLines);
        text.resize(QFontMetrics(text.font()).horizontalAdvance(longText) / 3 + 20, 200);
        const QStringList lines = text.visibleLines();
        if (maxLines == 0) {
            EXPECT_GE(lines.size(), 3);
            EXPECT_EQ(lines.join(" "), longText);
            EXPECT_EQ(text.heightForWidth(text.width()),
                      static_cast<int>(
                          std::ceil(lines.size() * QFontMetricsF(text.font()).lineSpacing())));
        } else {
            EXPECT_EQ(lines.size(), maxLines);
            EXPECT_TRUE(lines.back().endsWith(QChar(0x2026))) << lines.back().toStdString();
        }
    }
}

} // namespace
} // namespace berthkeep
