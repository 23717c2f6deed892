#include "Berthkeep/MenuBar/MenuBarContentView.hpp"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QEnterEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>

#include "../Inventory/InventoryServiceTestSupport.hpp"
#include "Berthkeep/Domain/MenubarPreviewScenario.hpp"
#include "Berthkeep/MenuBar/DriveListScrollArea.hpp"
#include "Berthkeep/MenuBar/DriveListSection.hpp"
#include "Berthkeep/MenuBar/MenuBarLayout.hpp"
#include "Berthkeep/MenuBar/MenuBarStatusIcon.hpp"
#include "Berthkeep/MenuBar/SafetySummarySection.hpp"
#include "Berthkeep/MenuBar/UtilitySection.hpp"
#include "BerthkeepShared/ManualClock.hpp"
#include "MenuBarTestSupport.hpp"

namespace berthkeep {
namespace {

using menutest::kPanelWidth;
using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

const Lines kFixedRows{"(Send Feedback\u2026)", "(Settings\u2026)", "---", "(Quit)"};

Lines concat(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// With BERTHKEEP_MENU_PNG_DIR set, each rendered state is kept there for a look.
void keepPicture(QWidget& view, const std::string& name, int ratio = 2) {
    const QString folder = qEnvironmentVariable("BERTHKEEP_MENU_PNG_DIR");
    if (folder.isEmpty()) {
        return;
    }
    QImage image(view.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
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

// Safe drives named after their ids, each offering its eject.
MenubarViewState withDrives(const std::vector<std::string>& ids) {
    MenubarViewState state;
    state.globalState = GlobalSafetyState::safe();
    for (const std::string& id : ids) {
        state.drives.push_back(
            {id, "Drive " + id, DriveStatus::safe, DriveStatusVisibility::activity, {}});
        state.driveActions.push_back({id, id, DriveAction::Kind::eject, "Eject", true});
    }
    return state;
}

template <typename T> T* only(const QWidget& root) {
    const auto found = menutest::visibleChildren<T>(root);
    return found.size() == 1 ? found.front() : nullptr;
}

std::vector<DriveGroupCard*> cardsOf(const MenuBarContentView& view) {
    return only<DriveListSection>(view)->cards();
}

DriveGroupCard* cardFor(const MenuBarContentView& view, const std::string& groupID) {
    for (DriveGroupCard* card : cardsOf(view)) {
        if (card->group().id == groupID) {
            return card;
        }
    }
    return nullptr;
}

void rightClick(DriveGroupCard& card) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(4, 4), card.mapToGlobal(QPoint(4, 4)));
    QCoreApplication::sendEvent(&card, &event);
}

void settle() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// A poll, a drive coming or going or an eject ending may publish a state at any
// moment while a card's menu is open: the program lives on, the menu goes with
// its card, and a choice that arrives late is dropped.
TEST(MenuBarContentView, ANewStateWhileACardMenuIsOpenClosesItAndDropsItsChoice) {
    std::vector<std::string> chosen;
    MenuBarContentView::Callbacks callbacks;
    callbacks.onDriveAction = [&chosen](DriveAction::Kind, const std::string& id) {
        chosen.push_back(id);
    };
    MenuBarContentView view(withDrives({"a", "b"}), callbacks);
    const auto clock = std::make_shared<ManualClock>();
    view.setLayoutShiftGuard(MenuLayoutShiftGuard(clock));
    menutest::layOut(view);

    QTimer::singleShot(0, &view, [&view] { view.setState(withDrives({"a", "b", "c"})); });
    QTimer::singleShot(0, &view, [&view] { view.setState(withDrives({"b", "c"})); });
    const QPointer<DriveGroupCard> card = cardFor(view, "a");
    rightClick(*card);
    const QPointer<QMenu> menu = card->openMenu();
    ASSERT_TRUE(menu);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(menu->parent(), nullptr);
    const QPointer<QAction> eject = menu->actions().value(0);
    ASSERT_TRUE(eject);

    QCoreApplication::processEvents();
    EXPECT_FALSE(menu && menu->isVisible());
    eject->trigger();
    settle();
    EXPECT_FALSE(menu);
    EXPECT_FALSE(card);
    EXPECT_TRUE(chosen.empty());

    // The cards left still carry out their choice, once they have held still.
    DriveGroupCard* other = cardFor(view, "b");
    ASSERT_NE(other, nullptr);
    clock->advance(MenuLayoutShiftGuard::defaultQuietPeriod);
    other->actions().value(0)->trigger();
    EXPECT_EQ(chosen, std::vector<std::string>{"b"});
}

TEST(MenuBarContentView, AChoiceCountsOnlyWhileTheCurrentStateStillOffersIt) {
    std::vector<std::string> chosen;
    MenuBarContentView::Callbacks callbacks;
    callbacks.onDriveGroupAction = [&chosen](DriveGroupActionKind, const std::string& id) {
        chosen.push_back(id);
    };
    MenubarViewState grouped = withDrives({"a", "b"});
    grouped.driveGroups = {{"disk4", "Samsung T7", {"a", "b"}}};
    MenuBarContentView view(grouped, callbacks);
    menutest::layOut(view);
    const QPointer<DriveGroupCard> card = cardFor(view, "disk4");
    card->popupMenu(QPoint(0, 0));
    const QPointer<QAction> ejectAll = card->openMenu()->actions().value(0);
    ASSERT_TRUE(ejectAll);
    EXPECT_EQ(ejectAll->text(), "Eject All");

    MenubarViewState working = grouped;
    working.globalState = GlobalSafetyState::working(TriggerReason::manualEjectAll);
    view.setState(working);
    ejectAll->trigger(); // still on the stack of a menu being torn down
    EXPECT_TRUE(chosen.empty());
    EXPECT_TRUE(card->actions().isEmpty());
}

// Usage probes publish the same state every few seconds: nothing may be made
// again or redrawn for them, and a change touches only its own card.
TEST(MenuBarContentView, AnEqualStateChangesNothingAndANewOneOnlyWhatDiffers) {
    MenuBarContentView view(withDrives({"a", "b"}), {});
    menutest::layOut(view);
    const QPointer<DriveGroupCard> a = cardFor(view, "a");
    const QPointer<DriveGroupCard> b = cardFor(view, "b");
    const auto rows = only<UtilitySection>(view)->rows();

    menutest::EventCounter counter(QEvent::Paint);
    for (QWidget* widget : view.findChildren<QWidget*>()) {
        widget->installEventFilter(&counter);
    }
    view.installEventFilter(&counter);
    view.setState(withDrives({"a", "b"}));
    settle();
    EXPECT_EQ(counter.count, 0);

    MenubarViewState busy = withDrives({"a", "b"});
    busy.drives[1].status = DriveStatus::busy;
    view.setState(busy);
    menutest::layOut(view);
    EXPECT_EQ(cardsOf(view), (std::vector<DriveGroupCard*>{b, a}));
    EXPECT_EQ(b->summaryDetail(), busy.drives[1].statusDetail());
    EXPECT_EQ(only<UtilitySection>(view)->rows(), rows);

    view.setState(withDrives({"b", "c"}));
    menutest::layOut(view);
    EXPECT_FALSE(a);
    ASSERT_TRUE(b);
    const auto cards = cardsOf(view);
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(cards[0], b.data());
    EXPECT_EQ(cards[1]->group().id, "c");
    EXPECT_EQ(menutest::transcript(view),
              concat({{"All managed drives safe", "No active use detected", "[card]", "Drive b",
                       "Safe", "[card]", "Drive c", "Safe", "---"},
                      kFixedRows}));
}

TEST(MenuBarContentView, AShorterListGivesAShorterContent) {
    for (const bool dark : {false, true}) {
        MenubarViewState grouped = withDrives({"a", "b", "c", "d"});
        grouped.driveGroups = {{"disk2", std::nullopt, {"a"}},
                               {"disk3", std::nullopt, {"b"}},
                               {"disk4", "Samsung T7", {"c", "d"}}};
        grouped.utilityActions = {{MenubarUtilityAction::Kind::ejectAll, "Eject All", true}};
        MenuBarContentView view(grouped, {});
        if (dark) {
            QPalette palette = view.palette();
            palette.setColor(QPalette::Window, QColor(40, 40, 42));
            palette.setColor(QPalette::WindowText, QColor(236, 236, 236));
            view.setPalette(palette);
        }
        const std::string look = dark ? "dark" : "light";
        menutest::layOut(view);
        view.setFocus(); // as in the panel, where the view comes first in the focus chain
        const int tall = view.height();
        keepPicture(view, "shrink-before-" + look + "-1x", 1);
        keepPicture(view, "shrink-before-" + look + "-2x", 2);

        MenubarViewState one = withDrives({"a"});
        one.utilityActions = grouped.utilityActions;
        view.setState(one);
        settle();
        EXPECT_LT(view.heightForWidth(kPanelWidth), tall);
        menutest::layOut(view);
        keepPicture(view, "shrink-after-" + look + "-1x", 1);
        keepPicture(view, "shrink-after-" + look + "-2x", 2);
    }
}

TEST(MenuBarContentView, SpareHeightStaysBelowTheContent) {
    MenuBarContentView view(state(MenubarPreviewScenario::attention), {});
    menutest::layOut(view);
    std::vector<QRect> before;
    const auto texts = menutest::visibleChildren<MenuBarText>(view);
    for (const MenuBarText* text : texts) {
        before.push_back(menutest::geometryIn(view, *text));
    }
    view.resize(view.width(), view.height() + 240);
    QCoreApplication::processEvents();
    for (std::size_t index = 0; index < texts.size(); ++index) {
        SCOPED_TRACE(texts[index]->text().toStdString());
        EXPECT_EQ(menutest::geometryIn(view, *texts[index]), before[index]);
    }
}

// Tab and the arrow keys walk the cards and rows top to bottom, each with the
// name a screen reader speaks; Return or space acts on the one in focus.
TEST(MenuBarContentView, TheKeyboardReachesEveryCardAndRowByName) {
    std::vector<MenubarUtilityAction::Kind> utility;
    MenuBarContentView::Callbacks callbacks;
    callbacks.onUtilityAction = [&utility](MenubarUtilityAction::Kind kind) {
        utility.push_back(kind);
    };
    MenubarViewState state = withDrives({"a", "b"});
    state.drives[0].status = DriveStatus::busy;
    state.utilityActions = {{MenubarUtilityAction::Kind::ejectAll, "Eject All", true}};
    MenuBarContentView view(state, callbacks);
    const auto clock = std::make_shared<ManualClock>();
    view.setLayoutShiftGuard(MenuLayoutShiftGuard(clock));
    menutest::layOut(view);
    view.activateWindow();
    view.prepareForOpening();
    clock->advance(MenuLayoutShiftGuard::defaultQuietPeriod);

    const auto press = [&view](int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* target = view.focusWidget() ? view.focusWidget() : &view;
        QKeyEvent down(QEvent::KeyPress, key, modifiers);
        QCoreApplication::sendEvent(target, &down);
        QKeyEvent up(QEvent::KeyRelease, key, modifiers);
        QCoreApplication::sendEvent(target, &up);
        return view.focusWidget() ? view.focusWidget()->accessibleName().toStdString()
                                  : std::string();
    };
    const std::string busyCard = "Drive a, " + state.drives[0].statusDetail();
    EXPECT_EQ(view.focusWidget()->accessibleName().toStdString(), busyCard);
    EXPECT_EQ(press(Qt::Key_Down), "Drive b, Safe");
    EXPECT_EQ(press(Qt::Key_Tab), "Eject All");
    EXPECT_EQ(press(Qt::Key_Down), "Send Feedback\u2026");
    EXPECT_EQ(press(Qt::Key_Up), "Eject All");
    press(Qt::Key_Return);
    press(Qt::Key_Space);
    EXPECT_EQ(utility,
              (std::vector<MenubarUtilityAction::Kind>(2, MenubarUtilityAction::Kind::ejectAll)));
    EXPECT_EQ(press(Qt::Key_Backtab), "Drive b, Safe");

    press(Qt::Key_Return);
    const QPointer<QMenu> menu = cardFor(view, "b")->openMenu();
    ASSERT_TRUE(menu);
    EXPECT_TRUE(menu->isVisible());
    menu->close();

    for (const MenuBarText* text : menutest::visibleChildren<MenuBarText>(view)) {
        EXPECT_EQ(text->accessibleName(), text->text());
    }
}

MenuActionButton* rowTitled(const MenuBarContentView& view, const QString& title) {
    for (MenuActionButton* row : only<UtilitySection>(view)->rows()) {
        if (row->text() == title) {
            return row;
        }
    }
    return nullptr;
}

MenubarViewState withDrivesAndEjectAll(const std::vector<std::string>& ids) {
    MenubarViewState state = withDrives(ids);
    state.utilityActions = {{MenubarUtilityAction::Kind::ejectAll, "Eject All", true},
                            {MenubarUtilityAction::Kind::ejectAndSleep, "Eject & Sleep", true}};
    return state;
}

// Every callback writes down what ran.
MenuBarContentView::Callbacks recordingCallbacks(Lines& calls) {
    MenuBarContentView::Callbacks callbacks;
    callbacks.onUtilityAction = [&calls](MenubarUtilityAction::Kind kind) {
        calls.push_back(kind == MenubarUtilityAction::Kind::ejectAll ? "eject all" : "sleep");
    };
    callbacks.onDriveAction = [&calls](DriveAction::Kind, const std::string& id) {
        calls.push_back("eject " + id);
    };
    callbacks.onSendFeedback = [&calls] {
        calls.push_back("feedback");
    };
    callbacks.onOpenSettings = [&calls] {
        calls.push_back("settings");
    };
    callbacks.onQuit = [&calls] {
        calls.push_back("quit");
    };
    return callbacks;
}

// A card's menu was open on the last drive when it went and another came: the
// menu closed, the rows moved, and the click meant for the card's Eject landed
// on Eject All. An eject now counts only once the rows have held still.
TEST(MenuBarContentView, AnEjectClickCountsOnlyOnceTheRowsHaveHeldStill) {
    using namespace std::chrono_literals;
    const auto clock = std::make_shared<ManualClock>();
    Lines calls;
    MenuBarContentView view(withDrivesAndEjectAll({"a", "b", "c"}), recordingCallbacks(calls));
    view.setLayoutShiftGuard(MenuLayoutShiftGuard(clock, 500ms));
    menutest::layOut(view);
    settle();
    clock->advance(500ms);
    rowTitled(view, "Eject All")->click();
    EXPECT_EQ(calls, Lines{"eject all"});
    calls.clear();

    // A drive goes: the rows below the list move up under the pointer; the
    // card above the one that went holds still.
    view.setState(withDrivesAndEjectAll({"a", "b"}));
    settle();
    rowTitled(view, "Eject All")->click();
    rowTitled(view, "Eject & Sleep")->click();
    rowTitled(view, "Send Feedback\u2026")->click();
    cardFor(view, "a")->actions().value(0)->trigger();
    EXPECT_EQ(calls, Lines{"eject a"});
    clock->advance(500ms);
    rowTitled(view, "Eject All")->click();
    EXPECT_EQ(calls, (Lines{"eject a", "eject all"}));
    calls.clear();

    // The same number of cards, so no row moves, but the open menu closes
    // because its card went: what lies under the pointer changed all the same.
    rightClick(*cardFor(view, "b"));
    view.setState(withDrivesAndEjectAll({"a", "v"}));
    settle();
    rowTitled(view, "Eject All")->click();
    EXPECT_TRUE(calls.empty());
    clock->advance(500ms);

    // A state that moves nothing (an equal one, another detail) blocks nothing.
    MenubarViewState busy = withDrivesAndEjectAll({"a", "v"});
    busy.drives[0].status = DriveStatus::connected;
    view.setState(busy);
    settle();
    rowTitled(view, "Eject All")->click();
    EXPECT_EQ(calls, Lines{"eject all"});
}

QPoint centreOf(const QWidget& widget) {
    return widget.mapToGlobal(widget.rect().center());
}

// A press and release at a place on the screen, handed to the window there as
// the window system would: whatever lies under that place gets them.
void clickAt(const QPoint& screenPoint, Qt::MouseButton button = Qt::LeftButton) {
    QWidget* top = QApplication::widgetAt(screenPoint);
    ASSERT_NE(top, nullptr);
    QWindow* window = top->window()->windowHandle();
    QTest::mouseClick(window, button, Qt::NoModifier, window->mapFromGlobal(screenPoint));
    settle();
}

// A real click on a card's open menu item.
void chooseFromMenu(QMenu& menu, const QString& title) {
    for (QAction* item : menu.actions()) {
        if (item->text() == title) {
            clickAt(menu.mapToGlobal(menu.actionGeometry(item).center()));
            return;
        }
    }
    ADD_FAILURE() << "no item " << title.toStdString();
}

// A shown menu on the manual clock that writes down what ran and what the
// guard logged, its rows held still for the quiet period.
struct ClickTrial {
    explicit ClickTrial(const MenubarViewState& state)
        : view(state, recordingCallbacks(calls)) {
        view.setLayoutShiftGuard(MenuLayoutShiftGuard(clock, 500ms, BerthkeepLogger(log)));
        menutest::layOut(view);
        settle();
        clock->advance(500ms);
    }

    // Where each utility row sits now, where the user looked.
    std::vector<QPoint> aimAtUtilityRows() const {
        std::vector<QPoint> points;
        for (const char* title :
             {"Eject All", "Eject & Sleep", "Send Feedback\u2026", "Settings\u2026", "Quit"}) {
            points.push_back(centreOf(*rowTitled(view, title)));
        }
        return points;
    }

    std::vector<BerthkeepLogEvent> dropped() const { return log->named("menu.click.dropped"); }

    const std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    const std::shared_ptr<inventorytest::CapturingLogSink> log =
        std::make_shared<inventorytest::CapturingLogSink>();
    Lines calls;
    MenuBarContentView view;
    const Lines eachRowRan{"eject all", "sleep", "feedback", "settings", "quit"};
};

// A drive went 100 ms before the click: the rows below the list moved up, and
// the click aimed at "Send Feedback…" ran "Quit".
TEST(MenuBarContentView, AClickActsOnlyOnARowThatHeldStillUnderThePointer) {
    ClickTrial trial(withDrivesAndEjectAll({"a", "b", "c"}));
    const std::vector<QPoint> aimedAt = trial.aimAtUtilityRows();
    trial.view.setState(withDrivesAndEjectAll({"a", "b"}));
    settle();
    trial.clock->advance(100ms);
    Lines landedOn;
    for (const QPoint& point : aimedAt) {
        if (const auto* row =
                dynamic_cast<const MenuActionButton*>(QApplication::widgetAt(point))) {
            landedOn.push_back(row->text().toStdString());
        }
        clickAt(point);
    }
    EXPECT_TRUE(trial.calls.empty()) << ::testing::PrintToString(trial.calls);
    // One line for each click that reached a row, naming it and why.
    const auto dropped = trial.dropped();
    ASSERT_EQ(dropped.size(), landedOn.size());
    ASSERT_GE(dropped.size(), 3u);
    for (std::size_t index = 0; index < dropped.size(); ++index) {
        EXPECT_EQ(dropped[index].metadata.at("row"), landedOn[index]);
        EXPECT_EQ(dropped[index].metadata.at("reason"), "row_moved");
        EXPECT_EQ(dropped[index].metadata.at("since_ms"), "100");
    }

    // Held still for the quiet period, each row takes its click again.
    trial.clock->advance(400ms);
    for (const QPoint& point : trial.aimAtUtilityRows()) {
        clickAt(point);
    }
    EXPECT_EQ(trial.calls, trial.eachRowRan);
    EXPECT_EQ(trial.dropped().size(), dropped.size());
}

// A backup tool opening and closing a file on a drive grows and shrinks its
// card by the status line: every row below moves, though no drive came or went.
TEST(MenuBarContentView, ACardStatusLineThatComesAndGoesMovesNoClickOntoAnotherRow) {
    MenubarViewState idle = withDrivesAndEjectAll({"a"});
    idle.drives[0].statusVisibility = DriveStatusVisibility::hidden;
    MenubarViewState inUse = idle;
    inUse.drives[0].status = DriveStatus::busy;
    inUse.drives[0].statusVisibility = DriveStatusVisibility::activity;
    ClickTrial trial(idle);
    const std::vector<QPoint> aimedAt = trial.aimAtUtilityRows();
    // The panel takes the height its content asks for.
    const auto showThenClick = [&](const MenubarViewState& state) {
        trial.view.setState(state);
        menutest::layOut(trial.view);
        settle();
        trial.clock->advance(300ms);
        for (const QPoint& point : aimedAt) {
            clickAt(point);
        }
    };
    showThenClick(inUse);
    showThenClick(idle);
    EXPECT_TRUE(trial.calls.empty()) << ::testing::PrintToString(trial.calls);
    EXPECT_FALSE(trial.dropped().empty());

    trial.clock->advance(200ms);
    for (const QPoint& point : aimedAt) {
        clickAt(point);
    }
    EXPECT_EQ(trial.calls, trial.eachRowRan);
}

// A card's menu opens, and its items act, only for the card the user saw: not
// for one that a drive going above it just moved under the pointer.
TEST(MenuBarContentView, ACardsMenuOpensOnlyForTheCardTheUserSaw) {
    ClickTrial trial(withDrivesAndEjectAll({"a", "b", "c"}));
    const MenuBarContentView& view = trial.view;
    const QPoint onB = centreOf(*cardFor(view, "b"));
    trial.view.setState(withDrivesAndEjectAll({"b", "c"}));
    settle();
    trial.clock->advance(100ms);
    const QWidget* under = QApplication::widgetAt(onB);
    ASSERT_TRUE(under == cardFor(view, "c") || cardFor(view, "c")->isAncestorOf(under));
    clickAt(onB, Qt::RightButton);
    EXPECT_EQ(cardFor(view, "c")->openMenu(), nullptr);
    if (QMenu* menu = cardFor(view, "c")->openMenu()) {
        trial.clock->advance(500ms);
        chooseFromMenu(*menu, "Eject");
    }
    EXPECT_TRUE(trial.calls.empty()) << ::testing::PrintToString(trial.calls);
    ASSERT_EQ(trial.dropped().size(), 1u);
    EXPECT_EQ(trial.dropped()[0].metadata.at("row"), "Drive c");

    // Card b, above a drive that comes below it, holds still: its menu opens
    // and its item acts at once.
    trial.clock->advance(500ms);
    trial.view.setState(withDrivesAndEjectAll({"b", "c", "d"}));
    settle();
    clickAt(centreOf(*cardFor(view, "b")), Qt::RightButton);
    QMenu* menu = cardFor(view, "b")->openMenu();
    ASSERT_NE(menu, nullptr);
    chooseFromMenu(*menu, "Eject");
    EXPECT_EQ(trial.calls, Lines{"eject b"});
    EXPECT_EQ(trial.dropped().size(), 1u);
}

bool wholeInView(const DriveListScrollArea& area, const QWidget& card) {
    return area.viewport()->rect().contains(
        QRect(card.mapTo(area.viewport(), QPoint(0, 0)), card.size()));
}

// Sixty drives on a short screen: the header and every row below the list stay
// in view, and the list scrolls by wheel, keyboard and scroll bar.
TEST(MenuBarContentView, OnAShortScreenOnlyTheDriveListShortensAndItScrolls) {
    std::vector<std::string> ids;
    for (int index = 10; index < 70; ++index) {
        ids.push_back(std::to_string(index));
    }
    MenubarViewState many = withDrivesAndEjectAll(ids);
    many.drives.back().name = std::string(100, 'W');
    MenuBarContentView view(many, {});
    view.setMaximumHeight(500);
    menutest::layOut(view);
    view.activateWindow();
    settle();
    keepPicture(view, "capped-60-drives", 1);
    EXPECT_EQ(view.height(), 500);

    const QRect shown = view.rect();
    EXPECT_TRUE(shown.contains(menutest::geometryIn(view, *only<SafetySummarySection>(view))));
    const auto rows = only<UtilitySection>(view)->rows();
    ASSERT_EQ(rows.size(), 5u);
    for (const MenuActionButton* row : rows) {
        SCOPED_TRACE(row->text().toStdString());
        EXPECT_TRUE(shown.contains(menutest::geometryIn(view, *row)));
        EXPECT_FALSE(row->visibleRegion().isEmpty());
    }

    DriveListScrollArea& area = view.driveListArea();
    QScrollBar& bar = *area.verticalScrollBar();
    EXPECT_TRUE(bar.isVisible());
    EXPECT_GT(bar.maximum(), 0);
    const auto cards = cardsOf(view);
    ASSERT_EQ(cards.size(), 60u);
    const auto inView = [&area](const QWidget* card) {
        return wholeInView(area, *card);
    };
    EXPECT_TRUE(inView(cards.front()));
    EXPECT_FALSE(inView(cards.back()));

    QWheelEvent wheel(QPointF(20, 10), cards.front()->mapToGlobal(QPointF(20, 10)), QPoint(),
                      QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(area.viewport(), &wheel);
    EXPECT_GT(bar.value(), 0);

    // The keyboard brings each card it reaches into view, down to the last.
    cards.front()->setFocus(Qt::TabFocusReason);
    for (std::size_t step = 1; step < cards.size(); ++step) {
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QCoreApplication::sendEvent(view.focusWidget(), &down);
    }
    EXPECT_EQ(view.focusWidget(), cards.back());
    EXPECT_TRUE(inView(cards.back()));
    EXPECT_EQ(bar.value(), bar.maximum());
}

// Thirty drives, Tab to the last card, the wheel back to the top: Return opened
// that card's menu over Quit, and a second Return ejected a drive nobody could
// see. A key on a card out of view now only brings the card into view.
TEST(MenuBarContentView, AKeyOnAFocusedCardOutOfViewOnlyBringsItIntoView) {
    std::vector<std::string> ids;
    for (int index = 1; index <= 30; ++index) {
        ids.push_back(std::to_string(index));
    }
    MenuBarContentView view(withDrivesAndEjectAll(ids), {});
    view.setMaximumHeight(500);
    menutest::layOut(view);
    view.activateWindow();
    settle();
    view.prepareForOpening();

    DriveListScrollArea& area = view.driveListArea();
    QScrollBar& bar = *area.verticalScrollBar();
    DriveGroupCard* last = cardsOf(view).back();
    last->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(wholeInView(area, *last));

    const auto turnWheelToTop = [&area, &bar] {
        for (int notch = 0; notch < 100 && bar.value() > 0; ++notch) {
            QWheelEvent wheel(QPointF(20, 10), area.viewport()->mapToGlobal(QPointF(20, 10)),
                              QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(area.viewport(), &wheel);
        }
        return bar.value();
    };
    // The menu key reaches the card as a context-menu event from the keyboard.
    const auto press = [last](int key) {
        if (key == Qt::Key_Menu) {
            QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(4, 4),
                                      last->mapToGlobal(QPoint(4, 4)));
            QCoreApplication::sendEvent(last, &menuKey);
            return;
        }
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(last, &down);
    };
    for (const int key : {Qt::Key_Return, Qt::Key_Space, Qt::Key_Menu}) {
        const std::string name = QKeySequence(key).toString().toStdString();
        SCOPED_TRACE(name);
        ASSERT_EQ(turnWheelToTop(), 0);
        ASSERT_EQ(view.focusWidget(), last);
        ASSERT_FALSE(wholeInView(area, *last));
        keepPicture(view, "30-drives-focus-out-of-view-" + name, 1);

        press(key);
        EXPECT_FALSE(last->openMenu());
        EXPECT_TRUE(wholeInView(area, *last));
        keepPicture(view, "30-drives-focus-brought-into-view-" + name, 1);

        // Seen now, the same key opens the menu at the card.
        press(key);
        const QPointer<QMenu> menu = last->openMenu();
        ASSERT_TRUE(menu);
        const QRect shown(area.viewport()->mapToGlobal(QPoint(0, 0)), area.viewport()->size());
        EXPECT_TRUE(shown.adjusted(0, 0, 0, 1).contains(menu->pos()))
            << menu->pos().y() << " outside " << shown.top() << ".." << shown.bottom();
        menu->close();
        settle();
    }
}

// Opening starts on the first card; every stop of Tab is a card or a row, and
// looks different while it has the focus; a card that goes hands the focus to
// its neighbour, never on to Eject All.
TEST(MenuBarContentView, EveryTabStopIsARowTheUserSeesFocused) {
    std::vector<MenubarUtilityAction::Kind> utility;
    MenuBarContentView::Callbacks callbacks;
    callbacks.onUtilityAction = [&utility](MenubarUtilityAction::Kind kind) {
        utility.push_back(kind);
    };
    MenuBarContentView view(withDrivesAndEjectAll({"a", "b", "c"}), callbacks);
    menutest::layOut(view);
    view.activateWindow();
    settle();
    view.prepareForOpening();
    const auto cards = cardsOf(view);
    ASSERT_EQ(view.focusWidget(), cards.front());

    std::vector<QWidget*> stops;
    for (QWidget* at = view.focusWidget(); stops.empty() || at != stops.front();
         at = view.focusWidget()) {
        ASSERT_LT(stops.size(), 20u);
        stops.push_back(at);
        const bool isRow = dynamic_cast<MenuActionButton*>(at) != nullptr;
        EXPECT_TRUE(isRow || dynamic_cast<DriveGroupCard*>(at) != nullptr);
        EXPECT_FALSE(at->visibleRegion().isEmpty());
        const QImage focused = at->grab().toImage();
        at->clearFocus();
        EXPECT_NE(at->grab().toImage(), focused) << at->accessibleName().toStdString();
        at->setFocus(Qt::TabFocusReason);
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QCoreApplication::sendEvent(at, &tab);
    }
    EXPECT_EQ(stops.size(), 3u + 5u); // three cards, Eject All to Quit

    // The last card goes while it has the focus.
    cards.back()->setFocus(Qt::TabFocusReason);
    view.setState(withDrivesAndEjectAll({"a", "b"}));
    settle();
    EXPECT_EQ(view.focusWidget(), cardFor(view, "b"));
    view.setState(withDrivesAndEjectAll({}));
    settle();
    EXPECT_FALSE(view.focusWidget() && view.focusWidget() != &view);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &enter);
    EXPECT_TRUE(utility.empty());
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
