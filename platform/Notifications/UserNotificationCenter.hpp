#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace berthkeep {

enum class UserNotificationAuthorizationStatus {
    notDetermined,
    denied,
    authorized,
    provisional,
    ephemeral,
};

// "notDetermined", "denied", "authorized", "provisional", "ephemeral".
std::string toString(UserNotificationAuthorizationStatus status);

struct UserNotificationSettings {
    UserNotificationAuthorizationStatus authorizationStatus =
        UserNotificationAuthorizationStatus::notDetermined;

    bool operator==(const UserNotificationSettings&) const = default;
};

struct UserNotificationAuthorizationOptions {
    bool alert = false;
    bool sound = false;
    bool badge = false;

    bool operator==(const UserNotificationAuthorizationOptions&) const = default;
};

struct UserNotificationContent {
    std::string title;
    std::string subtitle;
    std::string body;
    bool playsSound = false;
    std::optional<int> badge;

    bool operator==(const UserNotificationContent&) const = default;
};

// A request without a trigger: shown at once. A request with the identifier of
// one still listed replaces it.
struct UserNotificationRequest {
    std::string identifier;
    UserNotificationContent content;

    bool operator==(const UserNotificationRequest&) const = default;
};

// A failure reported by the notification service.
class UserNotificationError : public std::runtime_error {
public:
    UserNotificationError(std::string domain, int code, const std::string& localizedDescription)
        : std::runtime_error(localizedDescription)
        , m_domain(std::move(domain))
        , m_code(code) {}

    const std::string& domain() const { return m_domain; }
    int code() const { return m_code; }

private:
    std::string m_domain;
    int m_code;
};

// The system's notification centre. Calls are made on the main thread; each
// completion handler is called exactly once, on the main thread, possibly
// before the call returns.
class UserNotificationCenter {
public:
    virtual ~UserNotificationCenter() = default;

    virtual void
    getNotificationSettings(std::function<void(UserNotificationSettings)> completionHandler) = 0;
    // granted, and the request's error (null when none).
    virtual void requestAuthorization(
        UserNotificationAuthorizationOptions options,
        std::function<void(bool granted, std::exception_ptr error)> completionHandler) = 0;
    // The error (null on success).
    virtual void add(UserNotificationRequest request,
                     std::function<void(std::exception_ptr error)> completionHandler) = 0;
    virtual void removeDeliveredNotifications(const std::vector<std::string>& identifiers) = 0;
};

} // namespace berthkeep
