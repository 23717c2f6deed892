#pragma once

#include <string>

#include <QCoroTask>

#include "Berthkeep/Domain/PendingSleepFailureNotification.hpp"

namespace berthkeep {

enum class BerthkeepNotificationAuthorizationStatus {
    notDetermined,
    denied,
    authorized,
};

// "notDetermined", "denied", "authorized".
std::string toString(BerthkeepNotificationAuthorizationStatus status);

// The store's way to the user's notifications. Main thread only.
class BerthkeepNotificationManaging {
public:
    virtual ~BerthkeepNotificationManaging() = default;

    virtual QCoro::Task<BerthkeepNotificationAuthorizationStatus> authorizationStatus() = 0;
    // Throws when the notification cannot be posted.
    virtual QCoro::Task<void>
    deliverSleepFailureNotification(PendingSleepFailureNotification notification) = 0;
    // Asks the user only while nobody has decided; the status afterwards.
    virtual QCoro::Task<BerthkeepNotificationAuthorizationStatus>
    requestAuthorizationIfNeeded() = 0;
};

} // namespace berthkeep
