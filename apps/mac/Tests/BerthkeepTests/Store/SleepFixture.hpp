#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Berthkeep/Actions/DriveOperationError.hpp"
#include "StoreFixture.hpp"
#include "StoreTestSupport.hpp"

namespace berthkeep::storetest {

using namespace std::chrono_literals;

// Ejects and mounts by changing the fixture's inventory, each eject taking its
// drive's time on the manual clock; refusing drives never mount.
class FakeDrives final : public DriveEjecting, public DriveRemounting {
public:
    FakeDrives(std::shared_ptr<storetest::FakeInventory> inventory, std::shared_ptr<Clock> clock)
        : m_inventory(std::move(inventory))
        , m_clock(std::move(clock)) {}

    QCoro::Task<void> eject(DetectedDrive drive, DriveEjectMode mode,
                            std::shared_ptr<CancelToken> token) override {
        ejects.emplace_back(drive.id(), mode);
        // The executors' check: a drive that is not there, or a reading that
        // failed twice, runs nothing.
        if (readingFails.contains(drive.id()) || !isAttached(drive.id())) {
            throw DriveOperationError::noLongerAttached(DriveOperationError::ejectDomain);
        }
        const auto delay = ejectDelays.contains(drive.id()) ? ejectDelays[drive.id()] : 0ms;
        if (delay > 0ms) {
            const bool elapsed = co_await m_clock->sleep(delay, token);
            if (!elapsed) {
                if (ejectsAnyway.contains(drive.id())) {
                    setMounted(drive.id(), false);
                }
                throw CancellationError();
            }
        }
        // Pulled out under the command: the tool cannot find it, and the
        // executor's second look says it is gone.
        if (!isAttached(drive.id())) {
            throw DriveOperationError::noLongerAttached(DriveOperationError::ejectDomain);
        }
        if (failing.contains(drive.id())) {
            throw std::runtime_error("Volume is busy");
        }
        if (mode == DriveEjectMode::volume) {
            setMounted(drive.id(), false);
            co_return;
        }
        // The whole disk goes, with every volume on it.
        for (const DetectedDrive& current : std::vector<DetectedDrive>(m_inventory->drives)) {
            if (current.ejectGroupID() == drive.ejectGroupID()) {
                setMounted(current.id(), false);
            }
        }
    }
    QCoro::Task<void> mount(RemountTarget target, std::shared_ptr<CancelToken>) override {
        mounts.push_back(target.driveID);
        // Decided when the command starts, as the tool reads the disk then.
        const bool refuses = refusing.contains(target.driveID);
        if (mountDelays.contains(target.driveID)) {
            co_await m_clock->sleep(mountDelays[target.driveID]);
        }
        if (!refuses) {
            setMounted(idOfVolume(target), true);
        }
        co_return;
    }
    QCoro::Task<void> mountDisk(RemountGroup group, std::shared_ptr<CancelToken> token) override {
        for (const RemountTarget& target : group.targets) {
            co_await mount(target, token);
        }
    }

    std::map<std::string, Clock::Duration> ejectDelays;
    // Taken in full: the tool finishes the mount even when cancelled.
    std::map<std::string, Clock::Duration> mountDelays;
    // Refuse to eject, after their delay.
    std::set<std::string> failing;
    // Taken down by the tool even after the time-out gave up on it.
    std::set<std::string> ejectsAnyway;
    // Their check's readings fail: nothing is run for them.
    std::set<std::string> readingFails;
    // Refuse to mount.
    std::set<std::string> refusing;
    std::vector<std::string> mounts;
    // Every eject asked for, with its mode.
    std::vector<std::pair<std::string, DriveEjectMode>> ejects;

    std::vector<std::string> ejectedIDs() const {
        std::vector<std::string> ids;
        for (const auto& [id, mode] : ejects) {
            ids.push_back(id);
        }
        return ids;
    }

private:
    // The tool mounts by the BSD name it is given, which may be another drive's
    // id by now.
    std::string idOfVolume(const RemountTarget& target) const {
        const auto named = std::find_if(
            m_inventory->drives.begin(), m_inventory->drives.end(),
            [&target](const DetectedDrive& d) { return d.bsdName() == target.bsdName; });
        return named == m_inventory->drives.end() ? target.driveID : named->id();
    }
    bool isAttached(const std::string& id) const {
        return std::any_of(m_inventory->drives.begin(), m_inventory->drives.end(),
                           [&id](const DetectedDrive& d) { return d.id() == id; });
    }
    void setMounted(const std::string& id, bool mounted) {
        for (DetectedDrive& current : m_inventory->drives) {
            if (current.id() != id) {
                continue;
            }
            std::optional<QUrl> mountURL;
            if (mounted) {
                mountURL =
                    QUrl::fromLocalFile(QString::fromStdString("/Volumes/" + current.name() + "/"));
            }
            current = DetectedDrive(current.id(), current.name(), mountURL, current.scope(),
                                    current.isEjectable(), current.bsdName(),
                                    current.ejectTargetBSDName(), current.ejectGroupID(),
                                    current.allowsGroupedWakeRemount(), current.identity());
        }
    }
    std::shared_ptr<storetest::FakeInventory> m_inventory;
    std::shared_ptr<Clock> m_clock;
};

// The pending sleep-failure notice's count, if one is pending.
inline std::optional<std::int64_t> noticeCount(const BerthkeepStore& store) {
    const auto& notice = store.pendingSleepFailureNotification();
    return notice ? std::optional<std::int64_t>(notice->failedDriveCount) : std::nullopt;
}

inline std::size_t countOf(const std::vector<std::string>& ids, const std::string& id) {
    return static_cast<std::size_t>(std::count(ids.begin(), ids.end(), id));
}

struct SleepFixture : storetest::StoreFixture {
    SleepFixture() {
        inventory->drives = {drive("a", "Alpha"), drive("b", "Beta")};
        customEjector = drives;
        remounter = drives;
        performInitialAsyncInventoryRefresh = false;
        performInitialDriveUsageRefresh = false;
        timing.postEjectRefreshDelay = 0s;
        timing.sleepEjectSettleDelay = 0s;
    }
    std::unique_ptr<BerthkeepStore> start() {
        auto store = make();
        test::processQueuedEvents();
        return store;
    }
    // Runs what is queued and moves the clock in steps, so each task gets its turn.
    void pass(Clock::Duration duration, Clock::Duration step = 100ms) {
        test::processQueuedEvents();
        for (Clock::Duration done = 0s; done < duration; done += step) {
            clock->advance(step);
            test::processQueuedEvents();
        }
    }
    std::size_t mountedCount() const {
        return static_cast<std::size_t>(
            std::count_if(inventory->drives.begin(), inventory->drives.end(),
                          [](const DetectedDrive& drive) { return drive.isMounted(); }));
    }
    std::vector<std::string> queuedIDs(const BerthkeepStore& store) const {
        std::vector<std::string> ids;
        for (const RemountTarget& target : store.wakeRemountQueue().targets()) {
            ids.push_back(target.driveID);
        }
        return ids;
    }
    std::vector<std::string> acknowledgedReasons() const {
        std::vector<std::string> reasons;
        for (const auto& event : sink->named("sleep.power_change.acknowledged")) {
            reasons.push_back(event.metadata.at("reason"));
        }
        return reasons;
    }
    std::shared_ptr<FakeDrives> drives = std::make_shared<FakeDrives>(inventory, clock);
};

} // namespace berthkeep::storetest
