#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDesktopServices>
#include <QLabel>
#include <QStackedWidget>
#include <QUrl>

#include "../BerthkeepTests/Store/StoreFixture.hpp"
#include "../BerthkeepTests/Store/StoreTestSupport.hpp"
#include "Berthkeep/MenuBar/MenuBarContentView.hpp"
#include "Berthkeep/MenuBar/MenuBarText.hpp"
#include "BerthkeepReliabilityHarness/BerthkeepHostView.hpp"
#include "BerthkeepReliabilityHarness/HarnessShell.hpp"
#include "BerthkeepReliabilityHarness/LandingScreenshotCatalogView.hpp"
#include "BerthkeepReliabilityHarness/LiveReviewSurface.hpp"
#include "BerthkeepReliabilityHarness/SegmentedPicker.hpp"
#include "HarnessTestSupport.hpp"

namespace berthkeep {
namespace {

using harnesstest::StandInMenu;
using storetest::drive;

SegmentedPicker* picker(const QWidget& root, const char* title) {
    for (SegmentedPicker* candidate : root.findChildren<SegmentedPicker*>()) {
        if (candidate->accessibleName() == title) {
            return candidate;
        }
    }
    return nullptr;
}

QAbstractButton* button(const QWidget& root, const QString& title) {
    for (QAbstractButton* candidate : root.findChildren<QAbstractButton*>()) {
        if (candidate->text() == title) {
            return candidate;
        }
    }
    return nullptr;
}

bool showsText(const QWidget& root, const QString& text) {
    for (const QLabel* label : root.findChildren<QLabel*>()) {
        if (label->isVisibleTo(&root) && label->text() == text) {
            return true;
        }
    }
    return false;
}

bool isDark(const QWidget& widget) {
    return widget.palette().color(QPalette::Window).lightness() < 128;
}

// Takes the mail links the program hands to the desktop (the feedback address
// of a bundle without one of its own).
class OpenedMailLinks final : public QObject {
    Q_OBJECT
public:
    OpenedMailLinks() { QDesktopServices::setUrlHandler("mailto", this, "open"); }
    ~OpenedMailLinks() override { QDesktopServices::unsetUrlHandler("mailto"); }
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls << url; }
};

// Every visible widget is as tall as its content needs at its width, and no two
// texts share pixels.
void expectNothingSqueezed(const QWidget& root) {
    std::vector<std::pair<QRect, QString>> texts;
    for (const QWidget* widget : root.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&root)) {
            continue;
        }
        const auto* label = qobject_cast<const QLabel*>(widget);
        const auto* menuText = dynamic_cast<const MenuBarText*>(widget);
        const QString name = label ? label->text() : menuText ? menuText->text() : "";
        EXPECT_GE(widget->height(), widget->hasHeightForWidth()
                                        ? widget->heightForWidth(widget->width())
                                        : widget->minimumSizeHint().height())
            << typeid(*widget).name() << " " << name.toStdString();
        if (!label && !menuText) {
            continue;
        }
        const QRect place(widget->mapTo(&root, QPoint()), widget->size());
        for (const auto& [other, otherName] : texts) {
            EXPECT_FALSE(place.intersects(other)) << (name + " / " + otherName).toStdString();
        }
        texts.emplace_back(place, name);
    }
}

TEST(BerthkeepHostView, StartsOnTheLiveReviewAndSwitchesSectionAndAppearance) {
    storetest::StoreFixture fixture;
    const auto store = fixture.makeQuiet();
    StandInMenu menu;
    BerthkeepHostView view(
        *store, [] {}, menu.factory());
    view.show();

    EXPECT_EQ(view.windowTitle(), "Berthkeep Reliability Harness");
    EXPECT_EQ(view.minimumSize(), QSize(760, 520));
    EXPECT_EQ(view.harnessTab(), BerthkeepHostView::HarnessTab::liveReview);
    EXPECT_EQ(picker(view, "Harness section")->currentIndex(), 0);
    EXPECT_EQ(picker(view, "Window appearance")->currentIndex(), 0);
    EXPECT_TRUE(view.liveReview()->isVisible());
    EXPECT_FALSE(view.catalog());

    picker(view, "Harness section")->choose(1);
    ASSERT_TRUE(view.catalog());
    EXPECT_TRUE(view.catalog()->isVisible());
    EXPECT_FALSE(view.liveReview()->isVisible());
    picker(view, "Harness section")->choose(0);
    EXPECT_TRUE(view.liveReview()->isVisible());

    const bool systemIsDark = isDark(view);
    picker(view, "Window appearance")->choose(2);
    EXPECT_TRUE(isDark(view));
    EXPECT_TRUE(isDark(*view.liveReview())) << "the content follows the window";
    picker(view, "Window appearance")->choose(1);
    EXPECT_FALSE(isDark(view));
    picker(view, "Window appearance")->choose(0);
    EXPECT_EQ(isDark(view), systemIsDark);
    EXPECT_FALSE(view.testAttribute(Qt::WA_SetPalette)) << "follows the system again";
}

TEST(LiveReviewSurface, ButtonsReachTheStoresTriggers) {
    struct Case {
        const char* button;
        std::optional<TriggerReason> trigger;
        const char* triggerLine;
    };
    const Case cases[] = {
        {"Simulate Sleep Hook", TriggerReason::systemSleep, "Latest trigger: System sleep"},
        {"Simulate Lid Close", TriggerReason::lidCloseSleep, "Latest trigger: Lid close sleep"},
        {"Refresh Drives", std::nullopt, nullptr},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.button);
        storetest::StoreFixture fixture;
        fixture.inventory->drives = {drive("a", "Alpha")};
        const auto store = fixture.makeQuiet();
        StandInMenu menu;
        LiveReviewSurface surface(*store, menu.factory(), {});
        const std::size_t snapshots = fixture.inventory->contexts.size();

        button(surface, test.button)->click();
        test::processQueuedEvents();

        EXPECT_EQ(store->lastObservedTrigger(), test.trigger);
        if (test.trigger) {
            EXPECT_EQ(fixture.ejector->ejected, std::vector<std::string>{"a"});
            EXPECT_TRUE(showsText(surface, test.triggerLine));
        } else {
            EXPECT_GT(fixture.inventory->contexts.size(), snapshots);
            EXPECT_TRUE(fixture.ejector->ejected.empty());
        }
    }
}

TEST(LiveReviewSurface, TheEmbeddedMenuFollowsTheStoreAndActsOnItAtOnce) {
    storetest::StoreFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha")};
    const auto store = fixture.makeQuiet();
    MenuContentCallbacks callbacks;
    int built = 0;
    int settingsOpened = 0;
    LiveReviewSurface surface(
        *store,
        [&](const MenubarViewState& state, MenuContentCallbacks given, QWidget* parent) {
            ++built;
            callbacks = std::move(given);
            EXPECT_EQ(state, store->currentState());
            return new QWidget(parent);
        },
        [&] { ++settingsOpened; });
    const int builtBefore = built;

    callbacks.onOpenSettings();
    EXPECT_EQ(settingsOpened, 1);
    OpenedMailLinks opened;
    callbacks.onSendFeedback();
    EXPECT_TRUE(opened.urls.isEmpty()) << "feedback from the harness goes nowhere";
    callbacks.onUtilityAction(MenubarUtilityAction::Kind::ejectAll);
    test::processQueuedEvents();
    EXPECT_EQ(fixture.ejector->ejected, std::vector<std::string>{"a"});
    EXPECT_GT(built, builtBefore) << "redrawn with the store's new state";
}

TEST(LiveReviewSurface, TheProductMenuIsKeptAndUpdatedInPlaceUntilThePaletteChanges) {
    storetest::StoreFixture fixture;
    fixture.inventory->drives = {drive("a", "Alpha")};
    const auto store = fixture.makeQuiet();
    LiveReviewSurface surface(*store, productMenuContentFactory(), {});
    // Without its own meta object the view cannot be found by type through Qt.
    const auto menus = [&surface] {
        std::vector<MenuBarContentView*> found;
        for (QWidget* child : surface.findChildren<QWidget*>()) {
            if (auto* menu = dynamic_cast<MenuBarContentView*>(child)) {
                found.push_back(menu);
            }
        }
        return found;
    };
    ASSERT_EQ(menus().size(), 1u);
    const QPointer<MenuBarContentView> menu = menus().front();
    const MenubarViewState before = menu->state();

    store->perform(MenubarUtilityAction::Kind::ejectAll);
    test::processQueuedEvents();
    ASSERT_EQ(fixture.ejector->ejected, std::vector<std::string>{"a"});
    ASSERT_EQ(menus().size(), 1u);
    EXPECT_EQ(menus().front(), menu.data()) << "an open card menu on it would survive";
    EXPECT_EQ(menu->state(), store->currentState());
    EXPECT_NE(menu->state(), before);

    // Colours are taken when the menu is built.
    QPalette dark = surface.palette();
    dark.setColor(QPalette::Window, Qt::black);
    surface.setPalette(dark);
    test::processQueuedEvents();
    EXPECT_TRUE(menu.isNull());
    EXPECT_EQ(menus().size(), 1u);
}

TEST(LiveReviewSurface, ListsDetectedDrivesWithTheirMountFacts) {
    storetest::StoreFixture fixture;
    const auto store = fixture.makeQuiet();
    StandInMenu menu;
    LiveReviewSurface empty(*store, menu.factory(), {});
    EXPECT_TRUE(showsText(empty, "No external local candidate volumes detected."));

    storetest::StoreFixture withDrives;
    const DetectedDrive fixed("c", "Fixed", QUrl::fromLocalFile("/Volumes/Fixed"),
                              DetectedDrive::Scope::managed, false);
    withDrives.inventory->drives = {drive("a", "Alpha"), storetest::excluded("b", "Beta", false),
                                    fixed};
    const auto storeWithDrives = withDrives.makeQuiet();
    LiveReviewSurface surface(*storeWithDrives, menu.factory(), {});
    for (const char* text :
         {"Alpha", "/Volumes/Alpha", "Mounted ejectable volume", "Managed", "Beta", "Not mounted",
          "Connected but not mounted", "Excluded", "Mounted non-ejectable volume"}) {
        EXPECT_TRUE(showsText(surface, text)) << text;
    }
    EXPECT_FALSE(showsText(surface, "No external local candidate volumes detected."));
    EXPECT_FALSE(showsText(surface, "Auto eject attempt running"));
}

TEST(LiveReviewSurface, FiveDrivesKeepEveryTextAtItsHeightAndLongPathsAreCutInTheMiddle) {
    storetest::StoreFixture fixture;
    fixture.inventory->drives = {
        drive("a", "Alpha"), drive("b", "Bravo"), storetest::excluded("c", "Charlie"),
        drive("d", "Delta", false),
        DetectedDrive("e", "Archive",
                      QUrl::fromLocalFile("/Volumes/Archive of the photo library 2019-2024/"),
                      DetectedDrive::Scope::managed, true)};
    const auto store = fixture.makeQuiet();
    BerthkeepHostView view(
        *store, [] {}, productMenuContentFactory());
    view.show();
    for (const QSize size : {QSize(1120, 780), QSize(760, 520)}) {
        SCOPED_TRACE(size.width());
        view.resize(size);
        test::processQueuedEvents();
        expectNothingSqueezed(*view.liveReview());
    }
    // A long mount path gives up its middle to fit its row.
    const QString longPath = "/Volumes/Archive of the photo library 2019-2024";
    int shown = 0;
    for (const QLabel* path : view.liveReview()->findChildren<QLabel*>("mountPath")) {
        if (path->isVisible() && path->toolTip() == longPath) {
            ++shown;
            EXPECT_EQ(path->text(), path->fontMetrics().elidedText(longPath, Qt::ElideMiddle,
                                                                   path->contentsRect().width()));
            EXPECT_NE(path->text(), longPath);
        }
    }
    EXPECT_EQ(shown, 1);
}

} // namespace
} // namespace berthkeep

#include "BerthkeepHostViewTests.moc"
