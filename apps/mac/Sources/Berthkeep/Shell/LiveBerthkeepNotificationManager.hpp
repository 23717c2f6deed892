#pragma once

#include <exception>
#include <functional>
#include <memory>

#include "Berthkeep/Shell/BerthkeepNotificationManaging.hpp"
#include "platform/Notifications/UserNotificationCenter.hpp"

namespace berthkeep {

// Posts through the system notification centre. Holds no state: every call asks
// the provider for the centre afresh, and no centre means "denied" and a
// delivery that throws Error::unavailable.
class LiveBerthkeepNotificationManager final : public BerthkeepNotificationManaging {
public:
    using CenterProvider = std::function<std::shared_ptr<UserNotificationCenter>()>;

    class Error : public std::exception {
    public:
        enum class Kind { unavailable };

        explicit Error(Kind kind = Kind::unavailable)
            : m_kind(kind) {}
        Kind kind() const { return m_kind; }
        const char* what() const noexcept override {
            return "LiveBerthkeepNotificationManager.Error.unavailable";
        }

    private:
        Kind m_kind;
    };

    static constexpr const char* sleepFailureIdentifier = "berthkeep.sleep-failure";
    static constexpr const char* sleepFailureTitle = "Berthkeep";

    // centerProvider: by default the system's centre, but only inside an
    // application bundle.
    explicit LiveBerthkeepNotificationManager(CenterProvider centerProvider = defaultCenter);

    QCoro::Task<BerthkeepNotificationAuthorizationStatus> authorizationStatus() override;
    QCoro::Task<void>
    deliverSleepFailureNotification(PendingSleepFailureNotification notification) override;
    QCoro::Task<BerthkeepNotificationAuthorizationStatus> requestAuthorizationIfNeeded() override;

    // The request posted for a sleep failure.
    static UserNotificationRequest
    sleepFailureRequest(const PendingSleepFailureNotification& notification);
    static BerthkeepNotificationAuthorizationStatus
    mapAuthorizationStatus(UserNotificationAuthorizationStatus status);
    // The system's centre, or none outside an application bundle.
    static std::shared_ptr<UserNotificationCenter> defaultCenter();

private:
    CenterProvider m_centerProvider;
};

} // namespace berthkeep
