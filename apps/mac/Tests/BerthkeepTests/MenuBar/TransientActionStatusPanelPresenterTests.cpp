#include "Berthkeep/MenuBar/TransientActionStatusPanelPresenter.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <QImage>
#include <QRegion>
#include <QWidget>

#include "../Inventory/InventoryServiceTestSupport.hpp"
#include "Berthkeep/MenuBar/TransientActionStatusPanelView.hpp"
#include "BerthkeepShared/ManualClock.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;
using Presenter = TransientActionStatusPanelPresenter;
using Tone = TransientActionStatusTone;

TEST(TransientActionStatusPanelPresenter, PanelGoesInsideTheTopRightOfThePointersScreen) {
    // Left: 1440 x 900 with a 25-point top bar; right: 1920 x 1080 with a 40-point dock.
    const Presenter::ScreenArea left{{0, 0, 1440, 900}, {0, 25, 1440, 875}};
    const Presenter::ScreenArea right{{1440, -100, 1920, 1080}, {1440, -100, 1920, 1040}};
    const QSize card = TransientActionStatusPanelView::cardSize;
    struct Case {
        const char* name;
        QPoint pointer;
        std::vector<Presenter::ScreenArea> screens;
        std::optional<Presenter::ScreenArea> primary;
        std::optional<QPoint> origin;
    };
    const Case cases[] = {
        {"pointer on the primary", {700, 400}, {left, right}, left, QPoint(1440 - 236 - 14, 39)},
        {"pointer on the second", {2000, 0}, {left, right}, left, QPoint(3360 - 236 - 14, -86)},
        {"right edge belongs to the next screen",
         {1440, 10},
         {left, right},
         left,
         QPoint(3110, -86)},
        {"pointer off every screen", {-50, -50}, {left, right}, left, QPoint(1190, 39)},
        {"no screen at all", {10, 10}, {}, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Presenter::panelOrigin(c.pointer, c.screens, c.primary, card), c.origin)
            << c.name;
    }
}

// Steps of a timeline: present a status, or let time pass, then whether the
// panel is showing.
struct Step {
    std::optional<Tone> present;
    std::chrono::milliseconds wait;
    bool visible;
};

TEST(TransientActionStatusPanelPresenter, ResultsHide2800msAfterTheLastOne) {
    const std::vector<std::pair<const char*, std::vector<Step>>> timelines{
        {"result", {{Tone::success, 2799ms, true}, {std::nullopt, 1ms, false}}},
        {"second result restarts the wait",
         {{Tone::attention, 2s, true}, {Tone::success, 2799ms, true}, {std::nullopt, 1ms, false}}},
        {"progress after a result stays", {{Tone::success, 1s, true}, {Tone::progress, 1h, true}}},
        {"result after progress hides",
         {{Tone::progress, 10s, true}, {Tone::attention, 2800ms, false}}},
        {"shown again after hiding", {{Tone::success, 3s, false}, {Tone::progress, 0ms, true}}},
    };
    for (const auto& [name, steps] : timelines) {
        SCOPED_TRACE(name);
        auto clock = std::make_shared<ManualClock>();
        Presenter presenter(clock);
        for (const Step& step : steps) {
            if (step.present) {
                presenter.present({TransientActionStatusAction::eject, "1 drive ejected",
                                   std::nullopt, *step.present});
            }
            // The dismissal starts on the next turn of the loop.
            QCoreApplication::processEvents();
            clock->advance(step.wait);
            QCoreApplication::processEvents();
            ASSERT_NE(presenter.panel(), nullptr);
            EXPECT_EQ(presenter.panel()->isVisible(), step.visible);
        }
    }
}

TEST(TransientActionStatusPanelPresenter, OnePanelReusedAndDismissedAtOnce) {
    auto clock = std::make_shared<ManualClock>();
    Presenter presenter(clock);
    EXPECT_EQ(presenter.panel(), nullptr);
    presenter.present(
        {TransientActionStatusAction::mount, "Mounting", std::nullopt, Tone::progress});
    QWidget* const panel = presenter.panel();
    presenter.present(
        TransientActionStatus::mountResult(TransientActionStatusAction::mount, 1, 0, std::nullopt));
    EXPECT_EQ(presenter.panel(), panel);
    EXPECT_EQ(presenter.hostingView()->status().title, "1 drive mounted");
    EXPECT_TRUE(panel->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(panel->windowFlags().testFlag(Qt::WindowTransparentForInput));
    EXPECT_EQ(panel->size(), presenter.hostingView()->size());
    EXPECT_EQ(presenter.hostingView()->cardRect().size(), QSize(236, 68));

    presenter.dismiss();
    EXPECT_FALSE(panel->isVisible());
    QCoreApplication::processEvents();
    EXPECT_EQ(clock->sleeperCount(), 0u);
}

// Without a compositing manager an X server shows translucent pixels black:
// there the panel is the opaque card alone, its corners cut by the window shape.
TEST(TransientActionStatusPanelPresenter, ShadowMarginOnlyWhereTheDesktopComposites) {
    bool compositing = false;
    Presenter presenter(std::make_shared<ManualClock>(), Presenter::defaultAutoDismissDelay,
                        [&compositing] { return compositing; });
    const TransientActionStatus status =
        TransientActionStatus::result(TransientActionStatusAction::eject, 1, 0, std::nullopt);
    for (const bool composited : {false, true, false}) {
        SCOPED_TRACE(composited);
        compositing = composited;
        presenter.present(status);
        QWidget* const panel = presenter.panel();
        ASSERT_NE(panel, nullptr);
        const int margin = composited ? TransientActionStatusPanelView::shadowMargin : 0;
        EXPECT_EQ(panel->size(), QSize(236, 68) + QSize(2 * margin, 2 * margin));
        EXPECT_EQ(presenter.hostingView()->cardRect().topLeft(), QPoint(margin, margin));
        EXPECT_EQ(panel->testAttribute(Qt::WA_TranslucentBackground), composited);

        QImage pixels(panel->size(), QImage::Format_ARGB32);
        pixels.fill(Qt::transparent);
        presenter.hostingView()->render(&pixels);
        const QRegion shown = composited ? QRegion(panel->rect()) : panel->mask();
        EXPECT_EQ(shown.contains(QPoint(0, 0)), composited);
        int translucent = 0;
        for (const QRect& rect : shown) {
            for (int y = rect.top(); y <= rect.bottom(); ++y) {
                for (int x = rect.left(); x <= rect.right(); ++x) {
                    translucent += pixels.pixelColor(x, y).alpha() < 255 ? 1 : 0;
                }
            }
        }
        // With a compositor the shadow is the translucent margin.
        EXPECT_EQ(translucent > 0, composited);
    }
}

TEST(TransientActionStatusPanelPresenter, CallsFromAnotherThreadAreLoggedAndIgnored) {
    auto sink = std::make_shared<inventorytest::CapturingLogSink>();
    auto clock = std::make_shared<ManualClock>();
    Presenter presenter(
        clock, Presenter::defaultAutoDismissDelay, [] { return false; }, BerthkeepLogger(sink));
    std::thread([&presenter] {
        presenter.dismiss();
        presenter.present(
            {TransientActionStatusAction::eject, "Ejecting", std::nullopt, Tone::progress});
    }).join();
    QCoreApplication::processEvents();

    EXPECT_EQ(presenter.panel(), nullptr);
    const auto errors = sink->named("main_thread.violation");
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].level, BerthkeepLogLevel::error);
    EXPECT_EQ(errors[0].metadata.at("operation"), "TransientActionStatusPanelPresenter.dismiss");
    EXPECT_EQ(errors[1].metadata.at("operation"), "TransientActionStatusPanelPresenter.present");
    EXPECT_EQ(clock->sleeperCount(), 0u);
}

// A name with no blank to break at is broken anywhere; the card shrinks back
// for a status without a detail.
TEST(TransientActionStatusPanelView, ALongWordWrapsAnywhereAndTheCardShrinksBack) {
    TransientActionStatusPanelView view(TransientActionStatus::result(
        TransientActionStatusAction::eject, 0, 1, std::string(80, 'W')));
    EXPECT_EQ(view.displayedTitle(), "1 drive still in use");
    EXPECT_EQ(view.displayedDetail().remove('\n'), QString(80, 'W'));
    EXPECT_GT(view.displayedDetail().count('\n'), 1);
    EXPECT_GT(view.cardRect().height(), 68);
    view.setStatus(
        TransientActionStatus::result(TransientActionStatusAction::eject, 1, 0, std::nullopt));
    EXPECT_EQ(view.displayedDetail(), "");
    EXPECT_EQ(view.cardRect().size(), QSize(236, 68));
}

// The desktop's font may be wider than the card was drawn for: every title and
// detail shows in full, on as many lines as it takes, and the card and its
// panel grow in height to hold them.
TEST(TransientActionStatusPanelView, EveryTextShowsInFullAtAWideFont) {
    QFont wide = QApplication::font();
    wide.setLetterSpacing(QFont::PercentageSpacing, 140);
    const std::vector<TransientActionStatus> statuses = {
        TransientActionStatus::mountResult(TransientActionStatusAction::mount, 1, 2, std::nullopt),
        TransientActionStatus::result(TransientActionStatusAction::ejectAndSleep, 12, 0,
                                      std::nullopt),
        TransientActionStatus::result(TransientActionStatusAction::eject, 0, 1,
                                      "My Very Long Backup Drive Name With Photos 2026"),
        {TransientActionStatusAction::mount, "Mounting drives...", std::nullopt, Tone::progress}};
    for (const bool wideFont : {false, true}) {
        for (const TransientActionStatus& status : statuses) {
            SCOPED_TRACE((wideFont ? "wide: " : "default: ") + status.title);
            Presenter presenter(std::make_shared<ManualClock>(), Presenter::defaultAutoDismissDelay,
                                [] { return false; });
            presenter.present(status);
            TransientActionStatusPanelView& view = *presenter.hostingView();
            if (wideFont) {
                view.setFont(wide);
                presenter.present(status);
            }
            const auto shown = [](QString text) {
                return text.replace('\n', ' ').toStdString();
            };
            EXPECT_EQ(shown(view.displayedTitle()), status.title);
            EXPECT_EQ(shown(view.displayedDetail()), status.detail.value_or(""));
            EXPECT_FALSE(view.displayedTitle().contains(QChar(0x2026)));
            const auto lines = view.displayedTitle().count('\n') + 1 +
                               (status.detail ? view.displayedDetail().count('\n') + 1 : 0);
            EXPECT_EQ(view.cardRect().width(), 236);
            // Two lines fit the card as it was drawn; four make it taller.
            if (lines >= 4) {
                EXPECT_GT(view.cardRect().height(), 68);
            } else if (lines <= 2) {
                EXPECT_EQ(view.cardRect().height(), 68);
            }
            EXPECT_EQ(presenter.panel()->size(), view.size());
            EXPECT_EQ(view.rect(), view.cardRect()) << "no shadow margin without compositing";
        }
    }
}

} // namespace
} // namespace berthkeep
