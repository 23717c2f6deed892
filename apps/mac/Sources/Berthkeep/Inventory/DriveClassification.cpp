#include "Berthkeep/Inventory/DriveClassification.hpp"

#include <array>
#include <utility>

namespace berthkeep {

namespace {

constexpr std::array<std::pair<DriveIgnoreReason, const char*>, 10> reasonNames{{
    {DriveIgnoreReason::wholeDisk, "wholeDisk"},
    {DriveIgnoreReason::internalMedia, "internalMedia"},
    {DriveIgnoreReason::nonLeafMedia, "nonLeafMedia"},
    {DriveIgnoreReason::notUserMountable, "notUserMountable"},
    {DriveIgnoreReason::hiddenVolume, "hiddenVolume"},
    {DriveIgnoreReason::diskImage, "diskImage"},
    {DriveIgnoreReason::notPhysicalExternal, "notPhysicalExternal"},
    {DriveIgnoreReason::missingIdentity, "missingIdentity"},
    {DriveIgnoreReason::rootVolume, "rootVolume"},
    {DriveIgnoreReason::unsupportedURL, "unsupportedURL"},
}};

} // namespace

std::string toString(DriveIgnoreReason reason) {
    for (const auto& [value, name] : reasonNames) {
        if (value == reason) {
            return name;
        }
    }
    return "notPhysicalExternal";
}

std::optional<DriveIgnoreReason> driveIgnoreReasonFromString(std::string_view text) {
    for (const auto& [value, name] : reasonNames) {
        if (text == name) {
            return value;
        }
    }
    return std::nullopt;
}

std::string describe(const DriveClassification& classification) {
    switch (classification.kind()) {
    case DriveClassification::Kind::ignored:
        return "ignored(" + toString(*classification.ignoreReason()) + ")";
    case DriveClassification::Kind::physicalExternal:
        return "physicalExternal";
    case DriveClassification::Kind::networkVolume:
        return "networkVolume";
    }
    return "";
}

} // namespace berthkeep
