#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QString>

#include <fstream>
#include <thread>

#include "BerthkeepReliabilityHarness/LandingScreenshotExporter.hpp"
#include "BerthkeepReliabilityHarness/LandingScreenshotExporterError.hpp"
#include "BerthkeepShared/BerthkeepLogSink.hpp"
#include "HarnessTestSupport.hpp"

namespace berthkeep {
namespace {

namespace fs = std::filesystem;
using harnesstest::StandInMenu;
using harnesstest::TemporaryFolder;

QImage readImage(const fs::path& file) {
    return QImage(QString::fromStdString(file.string()));
}

// Pixels from the left and from the right edge to the first one with at least
// that alpha, along one row.
std::pair<int, int> margins(const QImage& image, int y, int alpha) {
    std::pair<int, int> found{-1, -1};
    for (int x = 0; x < image.width(); ++x) {
        if (found.first < 0 && qAlpha(image.pixel(x, y)) >= alpha) {
            found.first = x;
        }
        if (found.second < 0 && qAlpha(image.pixel(image.width() - 1 - x, y)) >= alpha) {
            found.second = x;
        }
    }
    return found;
}

TEST(LandingScreenshotExporter, WritesEverySlotIntoAGivenFolderAsWideTransparentPNGs) {
    StandInMenu menu;
    TemporaryFolder temporary;
    const fs::path folder = temporary.path / "not" / "yet";
    fs::create_directories(folder);
    std::ofstream(folder / "menubar-safe.png") << "left from an older export";

    const auto result = LandingScreenshotExporter(menu.factory(), folder).exportAll();

    EXPECT_EQ(result.directory, folder);
    const std::vector<fs::path> expected{
        folder / "menubar-safe.png", folder / "menubar-attention.png",
        folder / "menubar-working.png", folder / "menubar-limited-protection.png"};
    EXPECT_EQ(result.files, expected);
    EXPECT_EQ(menu.lastState, state(MenubarPreviewScenario::limitedProtection));
    for (const fs::path& file : result.files) {
        SCOPED_TRACE(file.string());
        const QImage image = readImage(file);
        ASSERT_FALSE(image.isNull()) << "an older file is replaced by a readable PNG";
        EXPECT_EQ(image.width(), 440 * 4);
        EXPECT_EQ(image.height(), (StandInMenu::height + 2 * 24) * 4);
        EXPECT_TRUE(image.hasAlphaChannel());
        // The margins stay clear; the card inside them is opaque.
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(image.pixel(image.width() - 1, image.height() - 1)), 0);
        EXPECT_EQ(qAlpha(image.pixel(image.width() - 1, image.height() / 2)), 0);
        EXPECT_EQ(qAlpha(image.pixel((24 + 100) * 4, (24 + 100) * 4)), 255);
        // The card spans the canvas inside the padding (392 pt), the menu
        // centred on it: equal margins, for the card and for its shadow.
        const auto [cardLeft, cardRight] = margins(image, image.height() / 2, 255);
        EXPECT_EQ(cardLeft, cardRight);
        EXPECT_NEAR(image.width() - cardLeft - cardRight, 392 * 4, 4);
        const auto [shadowLeft, shadowRight] = margins(image, image.height() / 2, 1);
        EXPECT_EQ(shadowLeft, shadowRight);
    }
}

TEST(LandingScreenshotExporter, CreatesAMissingOutputFolderWithItsParents) {
    StandInMenu menu;
    TemporaryFolder temporary;
    const fs::path folder = temporary.path / "a" / "b";
    LandingScreenshotExporter(menu.factory(), folder).exportAll();
    EXPECT_TRUE(fs::is_regular_file(folder / "menubar-working.png"));
}

TEST(LandingScreenshotExporter, FindsTheCheckoutFromTheWorkingOrTheSourceFolder) {
    TemporaryFolder temporary;
    const fs::path checkout = temporary.path / "checkout";
    fs::create_directories(checkout / "apps" / "landing");
    fs::create_directories(checkout / "apps" / "mac" / "build");
    // Inside the checkout, a folder that has apps/landing but a file apps/mac.
    const fs::path decoy = checkout / "apps" / "mac" / "decoy";
    fs::create_directories(decoy / "apps" / "landing");
    std::ofstream(decoy / "apps" / "mac") << "not a folder";
    const fs::path outside = temporary.path / "elsewhere";
    fs::create_directories(outside);

    struct Case {
        const char* name;
        fs::path currentDirectory;
        fs::path sourceDirectory;
    };
    const Case cases[] = {
        {"from a build folder", checkout / "apps" / "mac" / "build", outside},
        {"from the checkout itself, written with a trailing slash", checkout / "", outside},
        {"past a folder that only half looks like a checkout", decoy, outside},
        {"from the source folder when the working folder is outside", outside,
         checkout / "apps" / "mac"},
    };
    StandInMenu menu;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const LandingScreenshotExporter exporter(menu.factory(), std::nullopt,
                                                 {test.currentDirectory, test.sourceDirectory});
        EXPECT_EQ(exporter.screenshotDirectory(),
                  checkout / "apps" / "landing" / "public" / "screenshots");
    }

    const auto result =
        LandingScreenshotExporter(menu.factory(), std::nullopt, {checkout / "apps", outside})
            .exportAll();
    EXPECT_EQ(result.files.size(), 4u);
    EXPECT_TRUE(fs::is_directory(checkout / "apps" / "landing" / "public" / "screenshots"));
}

TEST(LandingScreenshotExporter, OutsideAnyCheckoutFailsAndWritesNothing) {
    TemporaryFolder temporary;
    StandInMenu menu;
    const LandingScreenshotExporter exporter(menu.factory(), std::nullopt,
                                             {temporary.path, temporary.path / "source"});
    try {
        exporter.exportAll();
        FAIL() << "exported outside a checkout";
    } catch (const LandingScreenshotExporterError& error) {
        EXPECT_EQ(error.kind(), LandingScreenshotExporterError::Kind::repoRootNotFound);
        EXPECT_STREQ(error.what(),
                     "Could not locate the repo root for apps/landing/public/screenshots.");
    }
    EXPECT_EQ(menu.built, 0);
    EXPECT_TRUE(fs::is_empty(temporary.path));
}

TEST(LandingScreenshotExporter, OffTheMainThreadItLogsAndDoesNothingInEveryBuild) {
    struct Sink final : BerthkeepLogSink {
        void record(const BerthkeepLogEvent& event) override { events.push_back(event); }
        std::vector<BerthkeepLogEvent> events;
    };
    auto sink = std::make_shared<Sink>();
    StandInMenu menu;
    TemporaryFolder temporary;
    const LandingScreenshotExporter exporter(menu.factory(), temporary.path / "out",
                                             {temporary.path, temporary.path},
                                             BerthkeepLogger(sink));
    LandingScreenshotExportResult result;
    QByteArray png("untouched");
    std::thread([&] {
        result = exporter.exportAll();
        png = exporter.renderPNG(LandingScreenshotSlot::safe);
    }).join();
    QCoreApplication::processEvents();

    EXPECT_TRUE(result.files.empty());
    EXPECT_TRUE(png.isEmpty());
    EXPECT_EQ(menu.built, 0);
    EXPECT_FALSE(fs::exists(temporary.path / "out"));
    ASSERT_EQ(sink->events.size(), 2u);
    EXPECT_EQ(sink->events[0].name, "main_thread.violation");
    EXPECT_EQ(sink->events[0].metadata.at("operation"), "LandingScreenshotExporter.exportAll");
    EXPECT_EQ(sink->events[1].metadata.at("operation"), "LandingScreenshotExporter.renderPNG");
}

TEST(LandingScreenshotExporter, TheBuiltInSearchFindsThisCheckout) {
    StandInMenu menu;
    const fs::path folder = LandingScreenshotExporter(menu.factory()).screenshotDirectory();
    EXPECT_TRUE(fs::is_directory(folder)) << folder;
    EXPECT_TRUE(LandingScreenshotExporter::looksLikeRepoRoot(folder / ".." / ".." / ".." / ".."));
}

} // namespace
} // namespace berthkeep
