#include "Berthkeep/Drive/DetectedDrive.hpp"

#include <utility>

namespace berthkeep {

namespace {

std::optional<std::string> resolvedEjectTarget(const std::optional<std::string>& given,
                                               const std::optional<std::string>& bsdName) {
    return given ? given : bsdName;
}

std::string resolvedGroup(const std::optional<std::string>& given,
                          const std::optional<std::string>& ejectTarget, const std::string& id) {
    if (given) {
        return *given;
    }
    return ejectTarget ? *ejectTarget : id;
}

} // namespace

DetectedDrive::DetectedDrive(std::string id, std::string name, std::optional<QUrl> mountURL,
                             Scope scope, bool isEjectable, std::optional<std::string> bsdName,
                             std::optional<std::string> ejectTargetBSDName,
                             std::optional<std::string> ejectGroupID, bool allowsGroupedWakeRemount,
                             DriveIdentity identity)
    : m_id(std::move(id))
    , m_name(std::move(name))
    , m_mountURL(std::move(mountURL))
    , m_scope(scope)
    , m_isEjectable(isEjectable)
    , m_bsdName(std::move(bsdName))
    , m_ejectTargetBSDName(resolvedEjectTarget(ejectTargetBSDName, m_bsdName))
    , m_ejectGroupID(resolvedGroup(ejectGroupID, m_ejectTargetBSDName, m_id))
    , m_allowsGroupedWakeRemount(allowsGroupedWakeRemount)
    , m_identity(std::move(identity)) {}

const char* toString(DetectedDrive::Scope scope) {
    switch (scope) {
    case DetectedDrive::Scope::managed:
        return "managed";
    case DetectedDrive::Scope::excluded:
        return "excluded";
    }
    return "managed";
}

} // namespace berthkeep
