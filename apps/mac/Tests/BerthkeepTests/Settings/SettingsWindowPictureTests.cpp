#include <QDir>
#include <QImage>
#include <QMenuBar>
#include <QPalette>
#include <QScrollArea>
#include <QWidget>

#include <gtest/gtest.h>

#include "../MenuBar/MenuBarTestSupport.hpp"
#include "Berthkeep/Settings/BerthkeepSettingsView.hpp"
#include "Berthkeep/Settings/FullMonitoringPromptPanelPresenter.hpp"
#include "Berthkeep/Settings/FullMonitoringPromptView.hpp"
#include "Berthkeep/Settings/SettingsPathText.hpp"
#include "Berthkeep/Shell/BerthkeepForegroundPresentationCoordinator.hpp"
#include "Berthkeep/Shell/SettingsWindowController.hpp"
#include "SettingsTestSupport.hpp"
#include "platform/Activation/RecordingApplicationActivation.hpp"

namespace berthkeep {
namespace {

using storetest::drive;
using storetest::excluded;

QPalette darkPalette() {
    QPalette palette;
    const QColor text(230, 230, 232);
    palette.setColor(QPalette::Window, QColor(32, 32, 35));
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, QColor(44, 44, 48));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(58, 58, 62));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Highlight, QColor(60, 128, 240));
    palette.setColor(QPalette::PlaceholderText, QColor(230, 230, 232, 140));
    palette.setColor(QPalette::Link, QColor(100, 160, 255));
    return palette;
}

// Pictures at device pixel ratio 2: the window as opened and the whole page.
// Written to BERTHKEEP_VIEW_PNG_DIR when it is set, to be looked at.
QImage picture(QWidget& widget) {
    QImage image(widget.size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    widget.render(&image);
    return image;
}

const std::vector<std::pair<QString, QPalette>>& appearances() {
    static const std::vector<std::pair<QString, QPalette>> both{{"light", QPalette()},
                                                                {"dark", darkPalette()}};
    return both;
}

void keep(const QImage& image, const QString& name) {
    const QString folder = qEnvironmentVariable("BERTHKEEP_VIEW_PNG_DIR");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        image.save(folder + "/" + name + ".png");
    }
}

TEST(SettingsWindowPicture, RendersTheWholePageInLightAndDark) {
    storetest::StoreFixture fixture;
    fixture.inventory->drives = {drive("a", "Disk 10"), drive("b", "Disk 9", false),
                                 excluded("c", "Time Machine"), drive("d", "alpha"),
                                 excluded("e", "Long Drive Name " + std::string(90, 'L'))};
    auto store = settingstest::quietStore(fixture);
    auto coordinator = std::make_shared<BerthkeepForegroundPresentationCoordinator>(
        std::make_shared<RecordingApplicationActivation>());
    SettingsWindowController controller(*store, coordinator, true, {});
    controller.show();
    QWidget* window = controller.window();
    for (const auto& [name, palette] : appearances()) {
        window->setPalette(palette);
        test::processQueuedEvents();
        QWidget* page = controller.page()->scrollArea()->widget();
        page->adjustSize();
        // The long path cut in the middle, and selected, as the mouse leaves it.
        for (SettingsPathText* path : menutest::visibleChildren<SettingsPathText>(*page)) {
            if (path->path().size() > 60) {
                path->setSelection(0, static_cast<int>(path->text().size()));
            }
        }
        const QImage shown = picture(*window);
        const QImage whole = picture(*page);
        // The page under the window's application menu.
        EXPECT_EQ(shown.size(), window->size() * 2);
        EXPECT_GT(page->height(), window->height()) << "the page scrolls";
        // The card surface differs from the backdrop in both appearances.
        EXPECT_NE(whole.pixelColor(4, 4), whole.pixelColor(80, 80)) << name.toStdString();
        keep(shown, "settings-window-" + name);
        keep(whole, "settings-page-" + name);
    }
}

TEST(SettingsWindowPicture, RendersThePromptInLightAndDark) {
    FullMonitoringPromptPanelPresenter presenter(nullptr);
    presenter.present({}, {});
    QWidget* panel = presenter.panel();
    for (const auto& [name, palette] : appearances()) {
        panel->setPalette(palette);
        test::processQueuedEvents();
        const auto* view = presenter.view();
        EXPECT_LE(view->sizeHint().height(), panel->height()) << "nothing is cut off";
        keep(picture(*panel), "prompt-" + name);
    }
}

} // namespace
} // namespace berthkeep
