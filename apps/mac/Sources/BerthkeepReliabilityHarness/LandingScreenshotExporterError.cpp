#include "BerthkeepReliabilityHarness/LandingScreenshotExporterError.hpp"

namespace berthkeep {

LandingScreenshotExporterError::LandingScreenshotExporterError(Kind kind,
                                                               const std::string& description)
    : std::runtime_error(description)
    , m_kind(kind) {}

LandingScreenshotExporterError
LandingScreenshotExporterError::pngEncodingFailed(const std::string& fileName) {
    return {Kind::pngEncodingFailed, "Failed to encode " + fileName + " as PNG."};
}

LandingScreenshotExporterError LandingScreenshotExporterError::repoRootNotFound() {
    return {Kind::repoRootNotFound,
            "Could not locate the repo root for apps/landing/public/screenshots."};
}

LandingScreenshotExporterError LandingScreenshotExporterError::bitmapCaptureFailed() {
    return {Kind::bitmapCaptureFailed, "Failed to capture the rendered menubar preview."};
}

} // namespace berthkeep
