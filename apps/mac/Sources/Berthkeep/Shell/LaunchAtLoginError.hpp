#pragma once

#include <exception>
#include <string>
#include <variant>

#include "platform/LoginItems/LoginItemService.hpp"

namespace berthkeep {

// Why launch at login could not be changed. Reaches the user (through the log
// and the settings page), so every case has a description, a failure reason and
// a recovery suggestion; what() is the description.
class LaunchAtLoginError : public std::exception {
public:
    enum class Kind { registrationFailed, unregistrationFailed, unsupportedRuntime };

    static LaunchAtLoginError registrationFailed(LoginItemError underlying);
    static LaunchAtLoginError unregistrationFailed(LoginItemError underlying);
    static LaunchAtLoginError unsupportedRuntime(std::string reason);

    Kind kind() const { return m_kind; }
    // The system's error of the two failure cases; nothing for unsupportedRuntime.
    const LoginItemError* underlying() const { return std::get_if<LoginItemError>(&m_payload); }
    // The reason of unsupportedRuntime; empty otherwise.
    std::string reason() const;

    std::string errorDescription() const { return m_description; }
    std::string failureReason() const;
    std::string recoverySuggestion() const;
    std::string localizedDescription() const { return m_description; }

    const char* what() const noexcept override { return m_description.c_str(); }

private:
    LaunchAtLoginError(Kind kind, std::variant<LoginItemError, std::string> payload);

    Kind m_kind;
    std::variant<LoginItemError, std::string> m_payload;
    std::string m_description;
};

} // namespace berthkeep
