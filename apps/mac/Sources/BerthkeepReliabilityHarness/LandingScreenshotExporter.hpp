#pragma once

#include <QByteArray>

#include <filesystem>
#include <optional>

#include "BerthkeepReliabilityHarness/LandingScreenshotExportResult.hpp"
#include "BerthkeepReliabilityHarness/LandingScreenshotSlot.hpp"
#include "BerthkeepReliabilityHarness/MenuContentFactory.hpp"
#include "BerthkeepShared/BerthkeepLogger.hpp"

namespace berthkeep {

// Renders every screenshot slot's sample menu off screen, light, at four pixels
// per point, on a transparent canvas, and writes the PNGs into the given folder
// or else into apps/landing/public/screenshots of the checkout it runs from
// (searched upwards from the working folder, then from this module's source
// folder as recorded at build time).
//
// Main thread only: called elsewhere it logs the fault and does nothing (an
// empty result, no bytes). Synchronous. Throws LandingScreenshotExporterError,
// or std::filesystem::filesystem_error when a folder or file cannot be written;
// each file is replaced whole, and files written before a failure stay.
class LandingScreenshotExporter {
public:
    // Where the repository root search starts.
    struct SearchStarts {
        std::filesystem::path currentDirectory;
        std::filesystem::path sourceDirectory;
    };

    static constexpr int exportScale = 4;
    static constexpr int exportMenuWidth = 356;
    static constexpr int exportCanvasWidth = 440;
    static constexpr int exportPadding = 24;

    // Searches from the process's working folder and the build-time source folder.
    explicit LandingScreenshotExporter(
        MenuContentFactory menuContent,
        std::optional<std::filesystem::path> outputDirectory = std::nullopt);
    LandingScreenshotExporter(MenuContentFactory menuContent,
                              std::optional<std::filesystem::path> outputDirectory,
                              SearchStarts searchStarts,
                              std::optional<BerthkeepLogger> logger = std::nullopt);

    LandingScreenshotExportResult exportAll() const;

    // The output folder, or the checkout's screenshot folder.
    std::filesystem::path screenshotDirectory() const;
    // The slot's menu as PNG bytes.
    QByteArray renderPNG(LandingScreenshotSlot slot) const;

    // A folder that holds both apps/landing and apps/mac as folders.
    static bool looksLikeRepoRoot(const std::filesystem::path& folder);
    // The first folder from `start` upwards that looks like the repository root.
    static std::optional<std::filesystem::path> searchUpwards(std::filesystem::path start);

private:
    std::filesystem::path resolveRepoRoot() const;

    MenuContentFactory m_menuContent;
    std::optional<std::filesystem::path> m_outputDirectory;
    SearchStarts m_searchStarts;
    BerthkeepLogger m_logger;
};

} // namespace berthkeep
