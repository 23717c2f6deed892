#include "Berthkeep/Sleep/SystemPowerMonitor.hpp"

#include "../Inventory/InventoryServiceTestSupport.hpp"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

namespace berthkeep {
namespace {

// Stands in for the system: keeps the callback so a test can deliver messages,
// and records what the monitor allowed and invalidated.
struct FakeRegistration final : SystemPowerRegistrationHandle {
    void invalidate() override { ++invalidations; }
    void allowPowerChange(std::intptr_t notificationID) override {
        allowed.push_back(notificationID);
    }
    int invalidations = 0;
    std::vector<std::intptr_t> allowed;
};

struct FakeRegistrar final : SystemPowerRegistering {
    std::shared_ptr<SystemPowerRegistrationHandle>
    registerForSystemPower(void* refcon, SystemPowerCallback callback) override {
        m_refcon = refcon;
        m_callback = callback;
        return fails ? nullptr : handle;
    }
    void deliver(std::uint32_t type, std::intptr_t argument = 0) const {
        m_callback(m_refcon, 0, type, reinterpret_cast<void*>(argument));
    }

    bool fails = false;
    std::shared_ptr<FakeRegistration> handle = std::make_shared<FakeRegistration>();

private:
    void* m_refcon = nullptr;
    SystemPowerCallback m_callback = nullptr;
};

void drainMainLoop() {
    QDeadlineTimer deadline(50);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

class SystemPowerMonitorTest : public ::testing::Test {
protected:
    std::unique_ptr<SystemPowerMonitor> makeMonitor() {
        return std::make_unique<SystemPowerMonitor>(
            BerthkeepLogger(sink),
            [this](SystemPowerMonitor::Acknowledge acknowledge) {
                acknowledgers.push_back(std::move(acknowledge));
            },
            [this] { ++wakes; }, registrar);
    }
    std::vector<std::string> loggedNames() const {
        std::vector<std::string> names;
        for (const auto& event : sink->events) {
            EXPECT_EQ(event.category, BerthkeepLogCategory::reliability);
            names.push_back(event.name);
        }
        return names;
    }

    std::shared_ptr<inventorytest::CapturingLogSink> sink =
        std::make_shared<inventorytest::CapturingLogSink>();
    std::shared_ptr<FakeRegistrar> registrar = std::make_shared<FakeRegistrar>();
    std::vector<SystemPowerMonitor::Acknowledge> acknowledgers;
    int wakes = 0;
};

TEST_F(SystemPowerMonitorTest, EachMessageHasItsOwnReaction) {
    using Names = std::vector<std::string>;
    struct Row {
        const char* what;
        bool registrationFails;
        std::uint32_t type;
        std::intptr_t id;
        std::size_t willSleeps;
        int wakes;
        std::vector<std::intptr_t> allowed;
        Names logged; // after the registration line
    };
    const Row rows[] = {
        {"can-sleep is allowed at once",
         false,
         SystemPowerMessageType::canSystemSleep,
         7,
         0,
         0,
         {7},
         {}},
        {"will-sleep waits for its acknowledgement",
         false,
         SystemPowerMessageType::systemWillSleep,
         8,
         1,
         0,
         {},
         {"sleep.notification.received"}},
        {"has-powered-on with no sleep before it",
         false,
         SystemPowerMessageType::systemHasPoweredOn,
         0,
         0,
         1,
         {},
         {"sleep.notification.woke"}},
        {"will-not-sleep is ignored",
         false,
         SystemPowerMessageType::systemWillNotSleep,
         9,
         0,
         0,
         {},
         {}},
        {"will-power-on is ignored",
         false,
         SystemPowerMessageType::systemWillPowerOn,
         9,
         0,
         0,
         {},
         {}},
        {"can-sleep without a registration",
         true,
         SystemPowerMessageType::canSystemSleep,
         7,
         0,
         0,
         {},
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sink->events.clear();
        acknowledgers.clear();
        wakes = 0;
        registrar = std::make_shared<FakeRegistrar>();
        registrar->fails = row.registrationFails;
        auto monitor = makeMonitor();
        EXPECT_EQ(monitor->isRegistered(), !row.registrationFails);
        registrar->deliver(row.type, row.id);
        // Logging waits for the loop; the handlers do not.
        EXPECT_TRUE(sink->events.empty());
        EXPECT_EQ(acknowledgers.size(), row.willSleeps);
        EXPECT_EQ(wakes, row.wakes);
        drainMainLoop();
        Names expected{row.registrationFails ? "sleep.power_monitor.registration_failed"
                                             : "sleep.power_monitor.registered"};
        expected.insert(expected.end(), row.logged.begin(), row.logged.end());
        EXPECT_EQ(loggedNames(), expected);
        EXPECT_EQ(registrar->handle->allowed, row.allowed);
    }
}

TEST_F(SystemPowerMonitorTest, AnAcknowledgementAllowsOnlyItsOwnPowerChange) {
    auto monitor = makeMonitor();
    registrar->deliver(SystemPowerMessageType::systemWillSleep, 41);
    registrar->deliver(SystemPowerMessageType::systemWillSleep, 42);
    ASSERT_EQ(acknowledgers.size(), 2u);
    EXPECT_TRUE(registrar->handle->allowed.empty());

    acknowledgers[0]();
    acknowledgers[0](); // each call acknowledges once more, with the same id
    acknowledgers[1]();
    EXPECT_EQ(registrar->handle->allowed, (std::vector<std::intptr_t>{41, 41, 42}));

    monitor.reset();
    EXPECT_EQ(registrar->handle->invalidations, 1);
    acknowledgers[1](); // outlived its monitor: no effect
    EXPECT_EQ(registrar->handle->allowed.size(), 3u);
}

TEST_F(SystemPowerMonitorTest, AHandlerMayDropTheMonitorWhileItRuns) {
    std::unique_ptr<SystemPowerMonitor> monitor;
    monitor = std::make_unique<SystemPowerMonitor>(
        BerthkeepLogger(sink), [](SystemPowerMonitor::Acknowledge) {},
        [&monitor] { monitor.reset(); }, registrar);
    registrar->deliver(SystemPowerMessageType::systemHasPoweredOn);
    EXPECT_EQ(monitor, nullptr);
    EXPECT_EQ(registrar->handle->invalidations, 1);
}

} // namespace
} // namespace berthkeep
