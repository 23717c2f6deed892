#include "Berthkeep/Shell/BerthkeepNotificationManaging.hpp"

namespace berthkeep {

std::string toString(BerthkeepNotificationAuthorizationStatus status) {
    switch (status) {
    case BerthkeepNotificationAuthorizationStatus::notDetermined:
        return "notDetermined";
    case BerthkeepNotificationAuthorizationStatus::denied:
        return "denied";
    case BerthkeepNotificationAuthorizationStatus::authorized:
        return "authorized";
    }
    return "notDetermined";
}

} // namespace berthkeep
