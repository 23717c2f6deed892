#include "Berthkeep/Domain/DriveAction.hpp"

namespace berthkeep {

std::string toString(DriveAction::Kind kind) {
    switch (kind) {
    case DriveAction::Kind::mount:
        return "mount";
    case DriveAction::Kind::eject:
        return "eject";
    }
    return {};
}

std::optional<DriveAction::Kind> DriveAction::kindFromString(std::string_view text) {
    if (text == "mount") {
        return Kind::mount;
    }
    if (text == "eject") {
        return Kind::eject;
    }
    return std::nullopt;
}

std::string DriveAction::id() const {
    return toString(kind) + ":" + driveID;
}

} // namespace berthkeep
