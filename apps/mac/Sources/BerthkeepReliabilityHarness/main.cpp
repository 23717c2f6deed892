// The developer harness: the product's menu-bar extra plus the reliability
// harness window, on the same composition root. The shipping program never
// starts it.
//
//   BerthkeepReliabilityHarness                         the window
//   BerthkeepReliabilityHarness --export-screenshots [FOLDER]
//       writes the landing-page PNGs (into the checkout when no folder is given)

#include <QApplication>
#include <QStringList>
#include <QtGlobal>

#include <cstdio>
#include <exception>
#include <optional>

#include "BerthkeepReliabilityHarness/BerthkeepHostView.hpp"
#include "BerthkeepReliabilityHarness/HarnessShell.hpp"
#include "BerthkeepReliabilityHarness/LandingScreenshotExporter.hpp"

namespace {

int exportScreenshots(const QStringList& arguments) {
    using namespace berthkeep;
    std::optional<std::filesystem::path> folder;
    const qsizetype flag = arguments.indexOf(QStringLiteral("--export-screenshots"));
    if (flag + 1 < arguments.size()) {
        folder = arguments[flag + 1].toStdString();
    }
    try {
        const auto result =
            LandingScreenshotExporter(productMenuContentFactory(), folder).exportAll();
        for (const auto& file : result.files) {
            std::printf("%s\n", file.c_str());
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}

} // namespace

int main(int argc, char** argv) {
    // Without a display Qt aborts; the harness then runs off screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.contains(QStringLiteral("--export-screenshots"))) {
        return exportScreenshots(arguments);
    }

    // The menu-bar extra keeps the program alive after the window closes.
    QApplication::setQuitOnLastWindowClosed(false);
    const std::unique_ptr<berthkeep::HarnessShell> shell = berthkeep::makeHarnessShell();
    berthkeep::BerthkeepHostView window(
        shell->store(), [&shell] { shell->openSettings(); },
        berthkeep::productMenuContentFactory());
    window.resize(1120, 780);
    window.show();
    return QApplication::exec();
}
