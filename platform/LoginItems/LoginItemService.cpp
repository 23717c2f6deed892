#include "platform/LoginItems/LoginItemService.hpp"

namespace berthkeep {

std::string toString(LoginItemStatus status) {
    switch (status) {
    case LoginItemStatus::notRegistered:
        return "notRegistered";
    case LoginItemStatus::enabled:
        return "enabled";
    case LoginItemStatus::requiresApproval:
        return "requiresApproval";
    case LoginItemStatus::notFound:
        return "notFound";
    }
    return "notRegistered";
}

} // namespace berthkeep
