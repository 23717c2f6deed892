#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "BerthkeepReliabilityHarness/LandingScreenshotCatalogView.hpp"
#include "HarnessTestSupport.hpp"

namespace berthkeep {
namespace {

using harnesstest::StandInMenu;
using harnesstest::TemporaryFolder;

QStringList labelTexts(const QWidget& root) {
    QStringList texts;
    for (const QLabel* label : root.findChildren<QLabel*>()) {
        texts << label->text();
    }
    return texts;
}

TEST(LandingScreenshotCatalogView, ShowsOneCardPerSlotInOrderWithItsTexts) {
    StandInMenu menu;
    LandingScreenshotCatalogView catalog(menu.factory());
    catalog.resize(1200, 900);

    QStringList cards;
    for (const QWidget* card : catalog.widget()->findChildren<QWidget*>()) {
        if (landingScreenshotSlotFromRawValue(card->objectName().toStdString())) {
            cards << card->objectName();
        }
    }
    EXPECT_EQ(cards, (QStringList{"safe", "attention", "working", "limitedProtection"}));
    const QStringList texts = labelTexts(catalog);
    EXPECT_TRUE(texts.contains("HERO / SAFE CARD"));
    EXPECT_TRUE(texts.contains("SETUP STATE SECTION"));
    EXPECT_TRUE(texts.contains("Setup state section"));
    EXPECT_TRUE(texts.contains(QString::fromUtf8("\u25A3 apps/landing/public/screenshots/"
                                                 "menubar-safe.png")));
    EXPECT_EQ(menu.built, 4);
}

TEST(LandingScreenshotCatalogView, AnExportShowsEitherItsFolderOrItsError) {
    StandInMenu menu;
    TemporaryFolder temporary;
    bool hasFolder = false;
    LandingScreenshotCatalogView catalog(menu.factory(), [&] {
        return hasFolder ? LandingScreenshotExporter(menu.factory(), temporary.path / "out")
                         : LandingScreenshotExporter(menu.factory(), std::nullopt,
                                                     {temporary.path, temporary.path});
    });

    catalog.findChild<QPushButton*>()->click();
    EXPECT_EQ(catalog.exportErrorMessage(),
              "Could not locate the repo root for apps/landing/public/screenshots.");
    EXPECT_TRUE(catalog.exportMessage().isEmpty());

    hasFolder = true;
    catalog.exportCatalogScreenshots();
    EXPECT_EQ(catalog.exportMessage(),
              "Exported 4 PNGs to " + QString::fromStdString((temporary.path / "out").string()));
    EXPECT_TRUE(catalog.exportErrorMessage().isEmpty());
}

} // namespace
} // namespace berthkeep
