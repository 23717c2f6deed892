#include "Berthkeep/Sleep/LiveSystemSleepRequester.hpp"

namespace berthkeep {

LiveSystemSleepRequester::RequestError::RequestError(Kind kind, SystemPowerReturn code)
    : m_kind(kind)
    , m_code(code)
    , m_description("The operation couldn\u2019t be completed. "
                    "(Berthkeep.LiveSystemSleepRequester.RequestError error " +
                    std::to_string(static_cast<int>(kind)) + ".)") {}

std::string LiveSystemSleepRequester::RequestError::localizedDescription() const {
    return m_description;
}

const char* LiveSystemSleepRequester::RequestError::what() const noexcept {
    return m_description.c_str();
}

LiveSystemSleepRequester::LiveSystemSleepRequester(
    std::shared_ptr<SystemPowerManagement> powerManagement)
    : m_powerManagement(std::move(powerManagement)) {}

void LiveSystemSleepRequester::requestSleep() {
    const SystemPowerConnection connection = m_powerManagement->findPowerManagement();
    if (connection == 0) {
        throw RequestError::powerManagementUnavailable();
    }
    const SystemPowerReturn result = m_powerManagement->sleepSystem(connection);
    m_powerManagement->closeService(connection);
    if (result != SystemPowerResult::success) {
        throw RequestError::requestFailed(result);
    }
}

} // namespace berthkeep
