#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "Berthkeep/Actions/SystemSleepRequesting.hpp"
#include "platform/Power/SystemPowerManagement.hpp"

namespace berthkeep {

// Asks the system's power management to sleep now. On the simulated machine that
// runs its sleep cycle (will-sleep, the answers, a pause, has-powered-on) and
// never suspends this computer.
class LiveSystemSleepRequester final : public SystemSleepRequesting {
public:
    class RequestError : public std::exception {
    public:
        enum class Kind { requestFailed, powerManagementUnavailable };

        static RequestError requestFailed(SystemPowerReturn code) {
            return RequestError(Kind::requestFailed, code);
        }
        static RequestError powerManagementUnavailable() {
            return RequestError(Kind::powerManagementUnavailable, 0);
        }

        Kind kind() const { return m_kind; }
        // The power management's result; 0 for powerManagementUnavailable.
        SystemPowerReturn code() const { return m_code; }
        // The generic text of an error of this type and case; the code is not in it.
        std::string localizedDescription() const;
        const char* what() const noexcept override;

        bool operator==(const RequestError& other) const {
            return m_kind == other.m_kind && m_code == other.m_code;
        }

    private:
        RequestError(Kind kind, SystemPowerReturn code);

        Kind m_kind;
        SystemPowerReturn m_code;
        std::string m_description;
    };

    explicit LiveSystemSleepRequester(std::shared_ptr<SystemPowerManagement> powerManagement);

    // Throws RequestError when the system did not accept the request.
    void requestSleep() override;

private:
    std::shared_ptr<SystemPowerManagement> m_powerManagement;
};

} // namespace berthkeep
