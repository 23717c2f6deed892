#pragma once

#include <stdexcept>
#include <string>

namespace berthkeep {

// Why a screenshot export stopped; what() is the text the catalog shows.
class LandingScreenshotExporterError final : public std::runtime_error {
public:
    enum class Kind {
        pngEncodingFailed,
        repoRootNotFound,
        bitmapCaptureFailed,
    };

    static LandingScreenshotExporterError pngEncodingFailed(const std::string& fileName);
    static LandingScreenshotExporterError repoRootNotFound();
    static LandingScreenshotExporterError bitmapCaptureFailed();

    Kind kind() const { return m_kind; }

private:
    LandingScreenshotExporterError(Kind kind, const std::string& description);

    Kind m_kind;
};

} // namespace berthkeep
