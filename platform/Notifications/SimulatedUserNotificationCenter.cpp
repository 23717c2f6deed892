#include "platform/Notifications/SimulatedUserNotificationCenter.hpp"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>

namespace berthkeep {

SimulatedUserNotificationCenter::SimulatedUserNotificationCenter(
    UserNotificationAuthorizationStatus status)
    : m_status(status) {}

void SimulatedUserNotificationCenter::complete(std::function<void()> work) const {
    auto* application = QCoreApplication::instance();
    if (m_immediate || application == nullptr) {
        work();
        return;
    }
    QTimer::singleShot(0, application, std::move(work));
}

void SimulatedUserNotificationCenter::getNotificationSettings(
    std::function<void(UserNotificationSettings)> completionHandler) {
    ++m_settingsReads;
    const UserNotificationSettings settings{m_status};
    complete([completionHandler = std::move(completionHandler), settings] {
        completionHandler(settings);
    });
}

void SimulatedUserNotificationCenter::requestAuthorization(
    UserNotificationAuthorizationOptions options,
    std::function<void(bool granted, std::exception_ptr error)> completionHandler) {
    m_authorizationRequests.push_back(options);
    if (m_status == UserNotificationAuthorizationStatus::notDetermined) {
        ++m_promptsShown;
        m_status = m_promptAnswer;
    }
    const bool granted = m_status != UserNotificationAuthorizationStatus::denied &&
                         m_status != UserNotificationAuthorizationStatus::notDetermined;
    complete([completionHandler = std::move(completionHandler), granted, error = m_requestError] {
        completionHandler(granted, error);
    });
}

void SimulatedUserNotificationCenter::add(
    UserNotificationRequest request,
    std::function<void(std::exception_ptr error)> completionHandler) {
    m_added.push_back(request);
    if (!m_addError) {
        const auto same =
            std::find_if(m_delivered.begin(), m_delivered.end(), [&](const auto& listed) {
                return listed.identifier == request.identifier;
            });
        if (same != m_delivered.end()) {
            *same = request;
        } else {
            m_delivered.push_back(request);
        }
    }
    complete([completionHandler = std::move(completionHandler), error = m_addError] {
        completionHandler(error);
    });
}

void SimulatedUserNotificationCenter::removeDeliveredNotifications(
    const std::vector<std::string>& identifiers) {
    m_removals.push_back(identifiers);
    std::erase_if(m_delivered, [&](const auto& listed) {
        return std::find(identifiers.begin(), identifiers.end(), listed.identifier) !=
               identifiers.end();
    });
}

} // namespace berthkeep
