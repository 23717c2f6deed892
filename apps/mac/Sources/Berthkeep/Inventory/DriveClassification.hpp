#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace berthkeep {

// Why a disk or mounted volume is not a drive the program manages. The raw value
// is the case name.
enum class DriveIgnoreReason {
    wholeDisk,
    internalMedia,
    nonLeafMedia,
    notUserMountable,
    hiddenVolume,
    diskImage,
    notPhysicalExternal,
    missingIdentity,
    rootVolume,
    unsupportedURL,
};

std::string toString(DriveIgnoreReason reason);
// Exact and case-sensitive.
std::optional<DriveIgnoreReason> driveIgnoreReasonFromString(std::string_view text);

// The verdict on one disk or mounted volume.
class DriveClassification {
public:
    enum class Kind { ignored, physicalExternal, networkVolume };

    static DriveClassification ignored(DriveIgnoreReason reason) {
        return DriveClassification(Kind::ignored, reason);
    }
    static DriveClassification physicalExternal() {
        return DriveClassification(Kind::physicalExternal, std::nullopt);
    }
    static DriveClassification networkVolume() {
        return DriveClassification(Kind::networkVolume, std::nullopt);
    }

    Kind kind() const { return m_kind; }
    // Present exactly for `ignored`.
    const std::optional<DriveIgnoreReason>& ignoreReason() const { return m_reason; }

    bool operator==(const DriveClassification&) const = default;

private:
    DriveClassification(Kind kind, std::optional<DriveIgnoreReason> reason)
        : m_kind(kind)
        , m_reason(reason) {}

    Kind m_kind;
    std::optional<DriveIgnoreReason> m_reason;
};

// "ignored(wholeDisk)", "physicalExternal", "networkVolume": for test output and logs.
std::string describe(const DriveClassification& classification);

} // namespace berthkeep
