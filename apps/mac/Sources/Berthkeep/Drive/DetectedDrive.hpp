#pragma once

#include <QUrl>

#include <optional>
#include <string>

#include "Berthkeep/Drive/DriveIdentity.hpp"

namespace berthkeep {

// The one drive record the whole program shares. The inventory builds it; every
// other subsystem only reads it. Immutable once built: to change a field (the
// scope, say), build a new record with the others copied.
//
// `mountURL` is a file URL of the mount point (as the mounted-volume listing and
// the disk service hand it out, usually with a trailing slash); use
// `mountURL()->toLocalFile()` for a file-system path.
class DetectedDrive {
public:
    enum class Scope { managed, excluded };

    // An absent eject target falls back to `bsdName`; an absent group id falls
    // back to the resolved eject target, else to `id`, so every drive has a group.
    DetectedDrive(std::string id, std::string name, std::optional<QUrl> mountURL, Scope scope,
                  bool isEjectable, std::optional<std::string> bsdName = std::nullopt,
                  std::optional<std::string> ejectTargetBSDName = std::nullopt,
                  std::optional<std::string> ejectGroupID = std::nullopt,
                  bool allowsGroupedWakeRemount = true, DriveIdentity identity = {});

    const std::string& id() const { return m_id; }
    const std::string& name() const { return m_name; }
    const std::optional<QUrl>& mountURL() const { return m_mountURL; }
    Scope scope() const { return m_scope; }
    bool isEjectable() const { return m_isEjectable; }
    const std::optional<std::string>& bsdName() const { return m_bsdName; }
    const std::optional<std::string>& ejectTargetBSDName() const { return m_ejectTargetBSDName; }
    const std::string& ejectGroupID() const { return m_ejectGroupID; }
    bool allowsGroupedWakeRemount() const { return m_allowsGroupedWakeRemount; }
    // What the drive actions check its BSD name against before they act.
    const DriveIdentity& identity() const { return m_identity; }

    bool isMounted() const { return m_mountURL.has_value(); }

    bool operator==(const DetectedDrive&) const = default;

private:
    std::string m_id;
    std::string m_name;
    std::optional<QUrl> m_mountURL;
    Scope m_scope;
    bool m_isEjectable;
    std::optional<std::string> m_bsdName;
    std::optional<std::string> m_ejectTargetBSDName;
    std::string m_ejectGroupID;
    bool m_allowsGroupedWakeRemount;
    DriveIdentity m_identity;
};

// "managed" / "excluded", for log lines.
const char* toString(DetectedDrive::Scope scope);

} // namespace berthkeep
