#include "Berthkeep/Shell/LaunchAtLoginError.hpp"

namespace berthkeep {

namespace {

constexpr const char* loginItemsSuggestion =
    "Please check System Settings > General > Login Items and try again, or contact support.";

} // namespace

LaunchAtLoginError::LaunchAtLoginError(Kind kind, std::variant<LoginItemError, std::string> payload)
    : m_kind(kind)
    , m_payload(std::move(payload)) {
    switch (m_kind) {
    case Kind::registrationFailed:
        m_description = "Failed to register app for launch at login: " +
                        std::get<LoginItemError>(m_payload).localizedDescription();
        break;
    case Kind::unregistrationFailed:
        m_description = "Failed to unregister app from launch at login: " +
                        std::get<LoginItemError>(m_payload).localizedDescription();
        break;
    case Kind::unsupportedRuntime:
        m_description = std::get<std::string>(m_payload);
        break;
    }
}

LaunchAtLoginError LaunchAtLoginError::registrationFailed(LoginItemError underlying) {
    return LaunchAtLoginError(Kind::registrationFailed, std::move(underlying));
}

LaunchAtLoginError LaunchAtLoginError::unregistrationFailed(LoginItemError underlying) {
    return LaunchAtLoginError(Kind::unregistrationFailed, std::move(underlying));
}

LaunchAtLoginError LaunchAtLoginError::unsupportedRuntime(std::string reason) {
    return LaunchAtLoginError(Kind::unsupportedRuntime, std::move(reason));
}

std::string LaunchAtLoginError::reason() const {
    const auto* text = std::get_if<std::string>(&m_payload);
    return text != nullptr ? *text : std::string();
}

std::string LaunchAtLoginError::failureReason() const {
    switch (m_kind) {
    case Kind::registrationFailed:
        return "The system could not register the app to launch at login.";
    case Kind::unregistrationFailed:
        return "The system could not unregister the app from launching at login.";
    case Kind::unsupportedRuntime:
        return "Launch at Login is unavailable in the current Berthkeep runtime.";
    }
    return {};
}

std::string LaunchAtLoginError::recoverySuggestion() const {
    switch (m_kind) {
    case Kind::registrationFailed:
    case Kind::unregistrationFailed:
        return loginItemsSuggestion;
    case Kind::unsupportedRuntime:
        return "Open the packaged Berthkeep.app bundle to manage Login Items.";
    }
    return {};
}

} // namespace berthkeep
