#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "platform/Notifications/UserNotificationCenter.hpp"

namespace berthkeep {

// A notification centre for tests and the harness. The authorisation status and
// the user's answer to a prompt are scripted, an add can be made to fail, and
// every call is recorded. Completion handlers run on a later turn of the main
// event loop (or inside the call, when so set).
class SimulatedUserNotificationCenter final : public UserNotificationCenter {
public:
    explicit SimulatedUserNotificationCenter(
        UserNotificationAuthorizationStatus status =
            UserNotificationAuthorizationStatus::notDetermined);

    void getNotificationSettings(
        std::function<void(UserNotificationSettings)> completionHandler) override;
    void requestAuthorization(
        UserNotificationAuthorizationOptions options,
        std::function<void(bool granted, std::exception_ptr error)> completionHandler) override;
    void add(UserNotificationRequest request,
             std::function<void(std::exception_ptr error)> completionHandler) override;
    void removeDeliveredNotifications(const std::vector<std::string>& identifiers) override;

    // Script.
    void setAuthorizationStatus(UserNotificationAuthorizationStatus status) { m_status = status; }
    UserNotificationAuthorizationStatus authorizationStatus() const { return m_status; }
    // The status a prompt leaves behind (the user's answer); authorized by default.
    void setPromptAnswer(UserNotificationAuthorizationStatus answer) { m_promptAnswer = answer; }
    // Reported by every later authorisation request (the status still changes).
    void setRequestError(std::exception_ptr error) { m_requestError = std::move(error); }
    // Reported by every later add, which then delivers nothing.
    void setAddError(std::exception_ptr error) { m_addError = std::move(error); }
    void setCallsCompletionHandlersImmediately(bool immediately) { m_immediate = immediately; }

    // Record.
    int settingsReadCount() const { return m_settingsReads; }
    // The options of each authorisation request made.
    const std::vector<UserNotificationAuthorizationOptions>& authorizationRequests() const {
        return m_authorizationRequests;
    }
    // Prompts actually shown (requests made while nobody had decided).
    int promptsShown() const { return m_promptsShown; }
    // Every request handed to add, failed ones included.
    const std::vector<UserNotificationRequest>& addedRequests() const { return m_added; }
    // What is listed now: one entry per identifier, the newest content.
    const std::vector<UserNotificationRequest>& deliveredNotifications() const {
        return m_delivered;
    }
    const std::vector<std::vector<std::string>>& removalRequests() const { return m_removals; }

private:
    void complete(std::function<void()> work) const;

    UserNotificationAuthorizationStatus m_status;
    UserNotificationAuthorizationStatus m_promptAnswer =
        UserNotificationAuthorizationStatus::authorized;
    std::exception_ptr m_requestError;
    std::exception_ptr m_addError;
    bool m_immediate = false;

    int m_settingsReads = 0;
    int m_promptsShown = 0;
    std::vector<UserNotificationAuthorizationOptions> m_authorizationRequests;
    std::vector<UserNotificationRequest> m_added;
    std::vector<UserNotificationRequest> m_delivered;
    std::vector<std::vector<std::string>> m_removals;
};

} // namespace berthkeep
