#include "Berthkeep/MenuBar/MenuBarStatusIcon.hpp"
#include "Berthkeep/MenuBar/MenuBarStatusLabelImage.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QImage>
#include <QPainter>

#include "Berthkeep/Domain/MenubarPreviewScenario.hpp"
#include "Berthkeep/MenuBar/MenuBarLayout.hpp"
#include "Berthkeep/MenuBar/SafetySummarySection.hpp"
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

// WCAG contrast ratio of two opaque colours, from 1 to 21.
double contrastRatio(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& color) {
        const auto linear = [](double channel) {
            return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) +
               0.0722 * linear(color.blueF());
    };
    const double first = luminance(a) + 0.05;
    const double second = luminance(b) + 0.05;
    return std::max(first, second) / std::min(first, second);
}

// The image laid over an opaque background, as a panel or a menu shows it.
QImage over(QImage image, const QColor& background) {
    image.setDevicePixelRatio(1);
    QImage result(image.size(), QImage::Format_ARGB32);
    result.fill(background);
    QPainter painter(&result);
    painter.drawImage(0, 0, image);
    return result;
}

// Of the pixels the icon covers at least half, the share that stands 3:1
// (the contrast asked of a graphical object) from the panel behind it.
double shareStandingOut(const QImage& icon, const QColor& panel) {
    const QImage argb = icon.convertToFormat(QImage::Format_ARGB32);
    const QImage shown = over(argb, panel);
    int covered = 0;
    int standing = 0;
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            if (argb.pixelColor(x, y).alpha() < 128) {
                continue;
            }
            ++covered;
            standing += contrastRatio(shown.pixelColor(x, y), panel) >= 3 ? 1 : 0;
        }
    }
    return covered == 0 ? 0 : double(standing) / covered;
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

// The header icon follows the menu's own palette (the application's may differ)
// and is drawn at the picture's pixel ratio, not enlarged from a smaller one.
TEST(SafetySummarySection, StatusIconInTheSectionsPaletteAtThePicturesPixelRatio) {
    using Scheme = BerthkeepMenubarIcon::ColorScheme;
    const MenubarViewState summary = state(MenubarPreviewScenario::attention);
    struct Case {
        const char* name;
        QColor window;
        QColor text;
        Scheme scheme;
        int ratio;
    };
    const Case cases[] = {
        {"light 1x", QColor(246, 246, 246), Qt::black, Scheme::light, 1},
        {"light 4x", QColor(246, 246, 246), Qt::black, Scheme::light, 4},
        {"dark 1x", QColor(30, 30, 32), QColor(236, 236, 236), Scheme::dark, 1},
        {"dark 4x", QColor(30, 30, 32), QColor(236, 236, 236), Scheme::dark, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SafetySummarySection section(summary, std::nullopt);
        QPalette palette = section.palette();
        palette.setColor(QPalette::Window, c.window);
        palette.setColor(QPalette::WindowText, c.text);
        section.setPalette(palette);
        section.resize(320, section.heightForWidth(320));
        section.show();
        QImage picture(section.size() * c.ratio, QImage::Format_ARGB32_Premultiplied);
        picture.setDevicePixelRatio(c.ratio);
        picture.fill(c.window);
        section.render(&picture);

        const auto* icon = section.findChild<MenuBarStatusIcon*>("statusIcon");
        ASSERT_NE(icon, nullptr);
        const QRect at(icon->mapTo(&section, QPoint(0, 0)) * c.ratio, icon->size() * c.ratio);
        const QImage drawn = picture.copy(at).convertToFormat(QImage::Format_ARGB32);
        const int side = MenuBarLayout::headerIconSize;
        const QImage expected =
            over(MenuBarStatusIcon::image(summary, side, c.scheme,
                                          BerthkeepRuntimeIdentity::currentBundleIdentifier())
                     .pixmap(QSize(side, side), c.ratio)
                     .toImage(),
                 c.window);
        ASSERT_EQ(drawn.size(), expected.size());
        int differing = 0;
        double strongest = 1;
        for (int y = 0; y < drawn.height(); ++y) {
            for (int x = 0; x < drawn.width(); ++x) {
                const QColor a = drawn.pixelColor(x, y);
                const QColor b = expected.pixelColor(x, y);
                differing += std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                                         std::abs(a.blue() - b.blue()) >
                                     12
                                 ? 1
                                 : 0;
                strongest = std::max(strongest, contrastRatio(a, c.window));
            }
        }
        EXPECT_EQ(differing, 0);
        EXPECT_GE(strongest, 4.5);
    }
}

TEST(MenuBarStatusLabelImage, TrayIconStandsOutOnBlackAndWhitePanels) {
    using Scheme = BerthkeepMenubarIcon::ColorScheme;
    MenubarViewState state;
    state.globalState = GlobalSafetyState::attention(1);
    struct Case {
        const char* name;
        Scheme scheme;
        std::optional<QColor> trayForeground;
        QColor panel;
    };
    const Case cases[] = {
        {"light app on a black panel", Scheme::light, std::nullopt, Qt::black},
        {"light app on a white panel", Scheme::light, std::nullopt, Qt::white},
        {"dark app on a black panel", Scheme::dark, std::nullopt, Qt::black},
        {"dark app on a white panel", Scheme::dark, std::nullopt, Qt::white},
        {"dark tray naming white ink", Scheme::light, QColor(Qt::white), Qt::black},
        {"light tray naming dark ink", Scheme::dark, QColor(40, 40, 40), Qt::white},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MenuBarStatusLabelImage label(18, [&c] { return c.trayForeground; });
        const QIcon icon = label.image(state, c.scheme);
        for (const int ratio : {1, 2}) {
            const QImage image = icon.pixmap(QSize(18, 18), ratio).toImage();
            ASSERT_EQ(image.size(), QSize(18, 18) * ratio);
            const double share = shareStandingOut(image, c.panel);
            EXPECT_GE(share, 0.3) << ratio << "x: " << share;
            if (c.trayForeground) {
                // The middle of the drive body takes the tray's ink.
                const QColor body = image.pixelColor(QPoint(7, 9) * ratio);
                EXPECT_NEAR(body.red(), c.trayForeground->red(), 3);
                EXPECT_NEAR(body.green(), c.trayForeground->green(), 3);
                EXPECT_NEAR(body.blue(), c.trayForeground->blue(), 3);
            }
        }
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
