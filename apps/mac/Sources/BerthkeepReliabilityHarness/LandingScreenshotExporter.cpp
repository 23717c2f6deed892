#include "BerthkeepReliabilityHarness/LandingScreenshotExporter.hpp"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QVBoxLayout>

#include <memory>
#include <string_view>
#include <system_error>

#include "BerthkeepReliabilityHarness/HarnessAppearanceMode.hpp"
#include "BerthkeepReliabilityHarness/LandingScreenshotExporterError.hpp"
#include "BerthkeepReliabilityHarness/MenuPreviewSurface.hpp"
#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"
#include "BerthkeepShared/MainThread.hpp"
#include "platform/Files/AtomicFileWriter.hpp"

namespace berthkeep {

namespace fs = std::filesystem;

namespace {

fs::path workingFolder() {
    std::error_code error;
    fs::path folder = fs::current_path(error);
    return error ? fs::path() : folder;
}

// The slot's menu on its card, with transparent padding all round, light
// whatever the harness window shows.
std::unique_ptr<QWidget> exportView(const MenuContentFactory& menuContent,
                                    LandingScreenshotSlot slot) {
    auto root = std::make_unique<QWidget>();
    root->setAttribute(Qt::WA_DontShowOnScreen);
    root->setPalette(*harnessPalette(HarnessAppearanceMode::light));
    auto* layout = new QVBoxLayout(root.get());
    const int padding = LandingScreenshotExporter::exportPadding;
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setAlignment(Qt::AlignTop);
    QWidget* menu = menuContent(state(previewScenario(slot)), ignoringMenuCallbacks(), nullptr);
    menu->setFixedWidth(LandingScreenshotExporter::exportMenuWidth);
    // The card spans the canvas inside the padding, the menu centred on it.
    layout->addWidget(new MenuPreviewSurface(menu, MenuPreviewSurface::Width::stretches));
    return root;
}

int fittingHeight(QWidget& view, int width) {
    QLayout* layout = view.layout();
    layout->activate();
    if (layout->hasHeightForWidth()) {
        return layout->totalHeightForWidth(width);
    }
    return view.sizeHint().height();
}

} // namespace

LandingScreenshotExporter::LandingScreenshotExporter(MenuContentFactory menuContent,
                                                     std::optional<fs::path> outputDirectory)
    : LandingScreenshotExporter(std::move(menuContent), std::move(outputDirectory),
                                SearchStarts{workingFolder(), BERTHKEEP_HARNESS_SOURCE_DIR}) {}

LandingScreenshotExporter::LandingScreenshotExporter(MenuContentFactory menuContent,
                                                     std::optional<fs::path> outputDirectory,
                                                     SearchStarts searchStarts,
                                                     std::optional<BerthkeepLogger> logger)
    : m_menuContent(std::move(menuContent))
    , m_outputDirectory(std::move(outputDirectory))
    , m_searchStarts(std::move(searchStarts))
    , m_logger(logger.value_or(
          BerthkeepLogger::live(BerthkeepRuntimeIdentity::currentBundleIdentifier()))) {}

LandingScreenshotExportResult LandingScreenshotExporter::exportAll() const {
    LandingScreenshotExportResult result;
    if (!requireMainThread(m_logger, "LandingScreenshotExporter.exportAll")) {
        return result;
    }
    result.directory = screenshotDirectory();
    fs::create_directories(result.directory);
    for (const LandingScreenshotSlot slot : allLandingScreenshotSlots) {
        const fs::path file = result.directory / fileName(slot);
        const QByteArray png = renderPNG(slot);
        // Replaced whole or not at all, so a landing build never reads half a file.
        if (auto failure = AtomicFileWriter::replace(
                file.string(), std::string_view(png.constData(), png.size()))) {
            throw fs::filesystem_error(*failure, file, std::make_error_code(std::errc::io_error));
        }
        result.files.push_back(file);
    }
    return result;
}

fs::path LandingScreenshotExporter::screenshotDirectory() const {
    if (m_outputDirectory) {
        return *m_outputDirectory;
    }
    return resolveRepoRoot() / "apps" / "landing" / "public" / "screenshots";
}

fs::path LandingScreenshotExporter::resolveRepoRoot() const {
    for (const fs::path& start :
         {m_searchStarts.currentDirectory, m_searchStarts.sourceDirectory}) {
        if (start.empty()) {
            continue;
        }
        if (auto root = searchUpwards(start)) {
            return *root;
        }
    }
    throw LandingScreenshotExporterError::repoRootNotFound();
}

std::optional<fs::path> LandingScreenshotExporter::searchUpwards(fs::path start) {
    std::error_code error;
    fs::path folder = fs::absolute(start, error).lexically_normal();
    if (error) {
        return std::nullopt;
    }
    // "/a/b/" names the folder "/a/b"; its parent is "/a".
    if (!folder.has_filename() && folder != folder.root_path()) {
        folder = folder.parent_path();
    }
    while (!looksLikeRepoRoot(folder)) {
        fs::path parent = folder.parent_path();
        if (parent == folder) {
            return std::nullopt;
        }
        folder = std::move(parent);
    }
    return folder;
}

bool LandingScreenshotExporter::looksLikeRepoRoot(const fs::path& folder) {
    std::error_code error;
    return fs::is_directory(folder / "apps" / "landing", error) &&
           fs::is_directory(folder / "apps" / "mac", error);
}

QByteArray LandingScreenshotExporter::renderPNG(LandingScreenshotSlot slot) const {
    if (!requireMainThread(m_logger, "LandingScreenshotExporter.renderPNG")) {
        return QByteArray();
    }
    const std::unique_ptr<QWidget> view = exportView(m_menuContent, slot);
    view->resize(exportCanvasWidth, 10);
    view->show();
    const int width = std::max(exportCanvasWidth, view->sizeHint().width());
    const int height = fittingHeight(*view, width);
    view->resize(width, height);

    QImage image(width * exportScale, height * exportScale, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        throw LandingScreenshotExporterError::bitmapCaptureFailed();
    }
    image.setDevicePixelRatio(exportScale);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        view->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    }

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG") || png.isEmpty()) {
        throw LandingScreenshotExporterError::pngEncodingFailed(fileName(slot));
    }
    return png;
}

} // namespace berthkeep
