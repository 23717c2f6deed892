#include "Berthkeep/Shell/LaunchAtLoginManager.hpp"

#include <QProcessEnvironment>

#include <stdexcept>

#include "platform/Bundle/AppBundle.hpp"

namespace berthkeep {

namespace {

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Anything else the service throws is carried the same way as its own errors.
LoginItemError asLoginItemError(const std::exception& error) {
    if (const auto* loginItemError = dynamic_cast<const LoginItemError*>(&error)) {
        return *loginItemError;
    }
    return LoginItemError(LoginItemError::errorDomain, LoginItemError::other, error.what());
}

} // namespace

LaunchAtLoginManager::RuntimeContext LaunchAtLoginManager::RuntimeContext::live() {
    RuntimeContext context;
    const auto bundle = AppBundle::main();
    context.bundlePath = bundle->bundlePath();
    context.executablePath = bundle->executablePath().value_or(std::string());
    context.bundleIdentifier = bundle->bundleIdentifier();
    const auto environment = QProcessEnvironment::systemEnvironment();
    for (const auto& key : environment.keys()) {
        context.environment.emplace(key.toStdString(), environment.value(key).toStdString());
    }
    return context;
}

LaunchAtLoginManager::LaunchAtLoginManager(BerthkeepLogger logger, RuntimeContext runtimeContext,
                                           std::shared_ptr<LoginItemService> service)
    : m_logger(std::move(logger))
    , m_runtimeContext(std::move(runtimeContext))
    , m_service(std::move(service)) {
    if (!m_service) {
        throw std::invalid_argument("LaunchAtLoginManager: no login-item service");
    }
}

std::optional<std::string> LaunchAtLoginManager::unavailableReason() const {
    if (m_runtimeContext.environment.contains(testEnvironmentKey)) {
        return std::string(testsRunningReason);
    }
    if (endsWith(m_runtimeContext.bundlePath, ".app") &&
        m_runtimeContext.executablePath.find("/Contents/MacOS/") != std::string::npos) {
        return std::nullopt;
    }
    return std::string(unpackagedReason);
}

void LaunchAtLoginManager::enable() {
    if (const auto reason = unavailableReason()) {
        m_logger.notice(BerthkeepLogCategory::settings,
                        "launch_at_login.enable.skipped.unsupported_runtime",
                        "Skipped launch at login registration in unsupported runtime",
                        {{"reason", *reason},
                         {"bundle_path", m_runtimeContext.bundlePath},
                         {"executable_path", m_runtimeContext.executablePath}});
        throw LaunchAtLoginError::unsupportedRuntime(*reason);
    }
    if (m_service->status() == LoginItemStatus::enabled) {
        m_logger.debug(BerthkeepLogCategory::settings, "launch_at_login.registration.skipped",
                       "Launch at login already enabled", {});
        return;
    }
    std::optional<LoginItemError> failure;
    try {
        m_service->registerItem();
    } catch (const std::exception& error) {
        failure = asLoginItemError(error);
    }
    if (!failure) {
        m_logger.notice(BerthkeepLogCategory::settings, "launch_at_login.enabled",
                        "App registered for launch at login", {});
        return;
    }
    m_logger.error(BerthkeepLogCategory::settings, "launch_at_login.enable.failed",
                   "Failed to enable launch at login",
                   {{"error", failure->localizedDescription()},
                    {"error_domain", failure->domain()},
                    {"error_code", std::to_string(failure->code())},
                    {"bundle_id", m_runtimeContext.bundleIdentifier.value_or("unknown")},
                    {"bundle_path", m_runtimeContext.bundlePath}});
    throw LaunchAtLoginError::registrationFailed(*failure);
}

void LaunchAtLoginManager::disable() {
    // No availability test: a registration left from elsewhere can always be removed.
    const auto status = m_service->status();
    if (status != LoginItemStatus::enabled && status != LoginItemStatus::requiresApproval) {
        m_logger.debug(BerthkeepLogCategory::settings, "launch_at_login.unregistration.skipped",
                       "Launch at login not currently enabled or pending",
                       {{"current_status", toString(status)}});
        return;
    }
    std::optional<LoginItemError> failure;
    try {
        m_service->unregisterItem();
    } catch (const std::exception& error) {
        failure = asLoginItemError(error);
    }
    if (!failure) {
        m_logger.notice(BerthkeepLogCategory::settings, "launch_at_login.disabled",
                        "App unregistered for launch at login", {});
        return;
    }
    m_logger.error(BerthkeepLogCategory::settings, "launch_at_login.disable.failed",
                   "Failed to disable launch at login",
                   {{"error", failure->localizedDescription()}});
    throw LaunchAtLoginError::unregistrationFailed(*failure);
}

} // namespace berthkeep
