#include "InventoryServiceTestSupport.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <stdexcept>

#include "Berthkeep/Inventory/InventoryRefreshCoordinator.hpp"
#include "BerthkeepShared/Completion.hpp"
#include "BerthkeepShared/ManualClock.hpp"
#include "TaskDriver.hpp"

namespace berthkeep {
namespace {

using namespace std::chrono_literals;
using test::processQueuedEvents;

// What the refreshes did, shared with the coroutine that stands for one.
struct RefreshRecord {
    std::shared_ptr<ManualClock> clock;
    std::vector<Clock::TimePoint> startedAt;
    int finished = 0;
    bool holdOpen = false; // a refresh waits for release() before it ends
    bool throwOnce = false;
    std::optional<Completion<void>> gate;

    void release() {
        if (gate) {
            auto open = *gate;
            gate.reset();
            open.resolve();
        }
    }
};

std::shared_ptr<RefreshRecord> makeRecord(std::shared_ptr<ManualClock> clock) {
    auto record = std::make_shared<RefreshRecord>();
    record->clock = std::move(clock);
    return record;
}

QCoro::Task<void> refresh(std::shared_ptr<RefreshRecord> record) {
    record->startedAt.push_back(record->clock->now());
    if (record->throwOnce) {
        record->throwOnce = false;
        throw std::runtime_error("refresh failed");
    }
    if (record->holdOpen) {
        Completion<void> gate;
        record->gate = gate;
        co_await gate;
    }
    ++record->finished;
}

class InventoryRefreshCoordinatorTest : public ::testing::Test {
protected:
    InventoryRefreshCoordinator::Action perform() {
        return [record = m_record] {
            return refresh(record);
        };
    }

    void request(InventoryRefreshCoordinator& coordinator, const std::string& reason) {
        coordinator.schedule(reason, m_logger, perform());
        processQueuedEvents();
    }

    std::vector<std::string> reasonsOf(const std::string& name) const {
        std::vector<std::string> reasons;
        for (const auto& event : m_sink->named(name)) {
            reasons.push_back(event.metadata.at("reason"));
        }
        return reasons;
    }

    std::shared_ptr<ManualClock> m_clock = std::make_shared<ManualClock>();
    std::shared_ptr<RefreshRecord> m_record = makeRecord(m_clock);
    std::shared_ptr<inventorytest::CapturingLogSink> m_sink =
        std::make_shared<inventorytest::CapturingLogSink>();
    BerthkeepLogger m_logger{m_sink};
};

TEST_F(InventoryRefreshCoordinatorTest, BurstOfDiskEventsGivesOneRefreshAfterTheDebounce) {
    InventoryRefreshCoordinator coordinator(m_clock);
    const auto first = m_clock->now();
    request(coordinator, "disk_arbitration_change");
    m_clock->advance(100ms);
    request(coordinator, "disk_arbitration_change");
    m_clock->advance(100ms);
    request(coordinator, "disk_arbitration_change");

    m_clock->advance(49ms);
    processQueuedEvents();
    EXPECT_TRUE(m_record->startedAt.empty());
    m_clock->advance(1ms);
    processQueuedEvents();
    ASSERT_EQ(m_record->startedAt.size(), 1u);
    EXPECT_EQ(m_record->startedAt[0] - first, 250ms);

    m_clock->advance(1s);
    processQueuedEvents();
    EXPECT_EQ(m_record->startedAt.size(), 1u) << "the later requests were absorbed";
    EXPECT_EQ(reasonsOf("inventory.refresh.scheduled").size(), 3u);
    const auto coalesced = m_sink->named("inventory.refresh.coalesced");
    ASSERT_EQ(coalesced.size(), 2u);
    for (const auto& event : coalesced) {
        EXPECT_EQ(event.metadata.at("refresh_started"), "false");
        EXPECT_EQ(event.level, BerthkeepLogLevel::debug);
        EXPECT_EQ(event.category, BerthkeepLogCategory::inventory);
        EXPECT_EQ(event.message, "Coalesced overlapping async inventory refresh request");
    }
    EXPECT_FALSE(coordinator.hasScheduledTask());
    EXPECT_FALSE(coordinator.isRefreshing());
}

TEST_F(InventoryRefreshCoordinatorTest, OnlyTheExactDiskEventReasonWaits) {
    EXPECT_EQ(InventoryRefreshCoordinator::debounce("disk_arbitration_change"),
              Clock::Duration(250ms));
    EXPECT_EQ(InventoryRefreshCoordinator::debounce("Disk_Arbitration_Change"),
              Clock::Duration::zero());
    EXPECT_EQ(InventoryRefreshCoordinator::debounce("drive_exclusion_toggle"),
              Clock::Duration::zero());

    InventoryRefreshCoordinator coordinator(m_clock);
    request(coordinator, "drive_exclusion_toggle");
    request(coordinator, "DISK_ARBITRATION_CHANGE");
    ASSERT_EQ(m_record->startedAt.size(), 2u);
    EXPECT_EQ(m_record->startedAt[0], m_record->startedAt[1]) << "neither waited";
}

TEST_F(InventoryRefreshCoordinatorTest,
       RequestsDuringARefreshGiveExactlyOneMoreRunForTheLastReason) {
    m_record->holdOpen = true;
    InventoryRefreshCoordinator coordinator(m_clock);
    request(coordinator, "drive_exclusion_toggle");
    ASSERT_TRUE(coordinator.isRefreshing());

    request(coordinator, "reason_a");
    request(coordinator, "disk_arbitration_change");
    request(coordinator, "reason_b");
    EXPECT_EQ(coordinator.pendingReason(), std::optional<std::string>("reason_b"));
    for (const auto& event : m_sink->named("inventory.refresh.coalesced")) {
        EXPECT_EQ(event.metadata.at("refresh_started"), "true");
    }

    const auto releasedAt = m_clock->now();
    m_record->holdOpen = false;
    m_record->release();
    processQueuedEvents();
    ASSERT_EQ(m_record->startedAt.size(), 2u);
    EXPECT_EQ(m_record->startedAt[1], releasedAt) << "the re-run does not wait";
    EXPECT_EQ(m_record->finished, 2);
    EXPECT_EQ(reasonsOf("inventory.refresh.scheduled").back(), "reason_b");
    EXPECT_FALSE(coordinator.pendingReason().has_value());

    m_clock->advance(1s);
    processQueuedEvents();
    EXPECT_EQ(m_record->startedAt.size(), 2u);
    EXPECT_FALSE(coordinator.hasScheduledTask());

    // Idle again: the next request schedules a task of its own.
    request(coordinator, "drive_exclusion_toggle");
    EXPECT_EQ(m_record->startedAt.size(), 3u);
}

TEST_F(InventoryRefreshCoordinatorTest, RequestDuringTheWaitDoesNotShortenIt) {
    InventoryRefreshCoordinator coordinator(m_clock);
    request(coordinator, "disk_arbitration_change");
    m_clock->advance(100ms);
    request(coordinator, "drive_exclusion_toggle");
    EXPECT_TRUE(m_record->startedAt.empty());
    EXPECT_FALSE(coordinator.pendingReason().has_value()) << "absorbed, not kept";
    m_clock->advance(150ms);
    processQueuedEvents();
    EXPECT_EQ(m_record->startedAt.size(), 1u);
    m_clock->advance(1s);
    processQueuedEvents();
    EXPECT_EQ(m_record->startedAt.size(), 1u);
}

TEST_F(InventoryRefreshCoordinatorTest, FailedRefreshLeavesTheCoordinatorIdle) {
    m_record->throwOnce = true;
    InventoryRefreshCoordinator coordinator(m_clock);
    request(coordinator, "drive_exclusion_toggle");
    EXPECT_EQ(m_record->startedAt.size(), 1u);
    EXPECT_FALSE(coordinator.hasScheduledTask());
    EXPECT_FALSE(coordinator.isRefreshing());
    request(coordinator, "drive_exclusion_toggle");
    EXPECT_EQ(m_record->finished, 1);
}

TEST_F(InventoryRefreshCoordinatorTest, RefreshStillWaitingIsDroppedWithTheCoordinator) {
    {
        InventoryRefreshCoordinator coordinator(m_clock);
        request(coordinator, "disk_arbitration_change");
    }
    m_clock->advance(1s);
    processQueuedEvents();
    EXPECT_TRUE(m_record->startedAt.empty());
    EXPECT_EQ(m_clock->sleeperCount(), 0u);
}

} // namespace
} // namespace berthkeep
