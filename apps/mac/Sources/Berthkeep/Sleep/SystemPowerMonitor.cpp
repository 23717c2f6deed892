#include "Berthkeep/Sleep/SystemPowerMonitor.hpp"

#include "BerthkeepShared/MainThread.hpp"

namespace berthkeep {

namespace {

class LiveSystemPowerRegistrationHandle final : public SystemPowerRegistrationHandle {
public:
    LiveSystemPowerRegistrationHandle(std::shared_ptr<SystemPowerManagement> powerManagement,
                                      SystemPowerNotificationPort notificationPort,
                                      SystemPowerNotifier notifier, SystemPowerConnection rootPort)
        : m_powerManagement(std::move(powerManagement))
        , m_notificationPort(notificationPort)
        , m_notifier(notifier)
        , m_rootPort(rootPort) {}

    void invalidate() override {
        if (m_rootPort == 0) {
            return;
        }
        m_powerManagement->removeNotificationPortFromMainLoop(m_notificationPort);
        if (m_notifier != 0) {
            m_powerManagement->deregisterForSystemPower(&m_notifier);
            m_notifier = 0;
        }
        m_powerManagement->destroyNotificationPort(m_notificationPort);
        m_powerManagement->closeService(m_rootPort);
        m_rootPort = 0;
    }

    void allowPowerChange(std::intptr_t notificationID) override {
        if (m_rootPort != 0) {
            m_powerManagement->allowPowerChange(m_rootPort, notificationID);
        }
    }

private:
    std::shared_ptr<SystemPowerManagement> m_powerManagement;
    SystemPowerNotificationPort m_notificationPort;
    SystemPowerNotifier m_notifier;
    SystemPowerConnection m_rootPort;
};

class LiveSystemPowerRegistrar final : public SystemPowerRegistering {
public:
    explicit LiveSystemPowerRegistrar(std::shared_ptr<SystemPowerManagement> powerManagement)
        : m_powerManagement(std::move(powerManagement)) {}

    std::shared_ptr<SystemPowerRegistrationHandle>
    registerForSystemPower(void* refcon, SystemPowerCallback callback) override {
        SystemPowerNotificationPort port = 0;
        SystemPowerNotifier notifier = 0;
        const SystemPowerConnection root =
            m_powerManagement->registerForSystemPower(refcon, &port, callback, &notifier);
        if (root == 0) {
            if (port != 0) {
                m_powerManagement->destroyNotificationPort(port);
            }
            return nullptr;
        }
        if (port == 0) {
            releaseHalfRegistration(notifier, root);
            return nullptr;
        }
        if (!m_powerManagement->addNotificationPortToMainLoop(port)) {
            m_powerManagement->destroyNotificationPort(port);
            releaseHalfRegistration(notifier, root);
            return nullptr;
        }
        return std::make_shared<LiveSystemPowerRegistrationHandle>(m_powerManagement, port,
                                                                   notifier, root);
    }

private:
    // A registration that cannot deliver is not left behind holding the machine's
    // sleep for answers that never come.
    void releaseHalfRegistration(SystemPowerNotifier notifier, SystemPowerConnection root) {
        if (notifier != 0) {
            m_powerManagement->deregisterForSystemPower(&notifier);
        }
        m_powerManagement->closeService(root);
    }

    std::shared_ptr<SystemPowerManagement> m_powerManagement;
};

} // namespace

SystemPowerMonitor::SystemPowerMonitor(BerthkeepLogger logger, WillSleepHandler onWillSleep,
                                       DidWakeHandler onDidWake,
                                       std::shared_ptr<SystemPowerRegistering> registrar)
    : m_onWillSleep(std::move(onWillSleep))
    , m_onDidWake(std::move(onDidWake))
    , m_logger(std::move(logger))
    , m_registrar(std::move(registrar))
    , m_state(std::make_shared<State>()) {
    start();
}

SystemPowerMonitor::~SystemPowerMonitor() {
    if (m_state->registration) {
        m_state->registration->invalidate();
        m_state->registration.reset();
    }
}

std::shared_ptr<SystemPowerRegistering>
SystemPowerMonitor::liveRegistrar(std::shared_ptr<SystemPowerManagement> powerManagement) {
    return std::make_shared<LiveSystemPowerRegistrar>(std::move(powerManagement));
}

void SystemPowerMonitor::start() {
    // The monitor's address goes out unowned: teardown invalidates first.
    m_state->registration =
        m_registrar ? m_registrar->registerForSystemPower(this, &SystemPowerMonitor::powerCallback)
                    : nullptr;
    if (m_state->registration) {
        logNotice("sleep.power_monitor.registered",
                  "Registered for IOKit system power notifications");
    } else {
        logError("sleep.power_monitor.registration_failed",
                 "Failed to register for IOKit system power notifications");
    }
}

void SystemPowerMonitor::powerCallback(void* refcon, std::uint32_t, std::uint32_t messageType,
                                       void* messageArgument) {
    if (!refcon) {
        return;
    }
    static_cast<SystemPowerMonitor*>(refcon)->handle(messageType, messageArgument);
}

void SystemPowerMonitor::handle(std::uint32_t messageType, void* messageArgument) {
    const auto notificationID = reinterpret_cast<std::intptr_t>(messageArgument);
    // The handlers may drop this monitor: they are copied out and called last.
    switch (messageType) {
    case SystemPowerMessageType::systemHasPoweredOn: {
        logNotice("sleep.notification.woke", "Received IOKit kIOMessageSystemHasPoweredOn");
        const DidWakeHandler onDidWake = m_onDidWake;
        if (onDidWake) {
            onDidWake();
        }
        return;
    }
    case SystemPowerMessageType::systemWillSleep: {
        logNotice("sleep.notification.received", "Received IOKit kIOMessageSystemWillSleep");
        // Bound to this message's id: a late call cannot release a newer change.
        Acknowledge acknowledge = [state = std::weak_ptr<State>(m_state), notificationID] {
            const auto alive = state.lock();
            if (alive && alive->registration) {
                alive->registration->allowPowerChange(notificationID);
            }
        };
        const WillSleepHandler onWillSleep = m_onWillSleep;
        if (onWillSleep) {
            onWillSleep(std::move(acknowledge));
        }
        return;
    }
    case SystemPowerMessageType::canSystemSleep:
        if (m_state->registration) {
            m_state->registration->allowPowerChange(notificationID);
        }
        return;
    default:
        return;
    }
}

void SystemPowerMonitor::logNotice(const char* name, const char* message) const {
    // Written after the current callout returns, not inside it.
    postToMainThread([logger = m_logger, name, message] {
        logger.notice(BerthkeepLogCategory::reliability, name, message, {});
    });
}

void SystemPowerMonitor::logError(const char* name, const char* message) const {
    postToMainThread([logger = m_logger, name, message] {
        logger.error(BerthkeepLogCategory::reliability, name, message, {});
    });
}

} // namespace berthkeep
