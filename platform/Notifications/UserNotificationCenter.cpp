#include "platform/Notifications/UserNotificationCenter.hpp"

namespace berthkeep {

std::string toString(UserNotificationAuthorizationStatus status) {
    switch (status) {
    case UserNotificationAuthorizationStatus::notDetermined:
        return "notDetermined";
    case UserNotificationAuthorizationStatus::denied:
        return "denied";
    case UserNotificationAuthorizationStatus::authorized:
        return "authorized";
    case UserNotificationAuthorizationStatus::provisional:
        return "provisional";
    case UserNotificationAuthorizationStatus::ephemeral:
        return "ephemeral";
    }
    return "notDetermined";
}

} // namespace berthkeep
