#pragma once

#include <stdexcept>
#include <string>

namespace berthkeep {

// Where the application stands as a login item.
enum class LoginItemStatus {
    notRegistered,    // no entry
    enabled,          // the session starts the application at login
    requiresApproval, // an entry exists but the session will not start it as it is
    notFound,         // the application to register cannot be found
};

// "notRegistered", "enabled", "requiresApproval", "notFound".
std::string toString(LoginItemStatus status);

// A failure of the login-item service, with a domain and a code the way the
// system reports its errors; what() is the localized description.
class LoginItemError : public std::runtime_error {
public:
    static constexpr const char* errorDomain = "BerthkeepLoginItemErrorDomain";

    enum Code : int {
        applicationNotFound = 1,
        invalidExecutablePath = 2,
        writeFailed = 3,
        removeFailed = 4,
        other = 99,
    };

    LoginItemError(std::string domain, int code, const std::string& localizedDescription)
        : std::runtime_error(localizedDescription)
        , m_domain(std::move(domain))
        , m_code(code) {}

    const std::string& domain() const { return m_domain; }
    int code() const { return m_code; }
    std::string localizedDescription() const { return what(); }

private:
    std::string m_domain;
    int m_code;
};

// The main application's login-item registration. Synchronous; called on the
// main thread.
class LoginItemService {
public:
    virtual ~LoginItemService() = default;

    virtual LoginItemStatus status() const = 0;
    // Both throw LoginItemError.
    virtual void registerItem() = 0;
    virtual void unregisterItem() = 0;
};

} // namespace berthkeep
