#pragma once

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <string>

namespace berthkeep {

// An update the update service found.
struct SoftwareUpdateItem {
    std::string displayVersionString;
};

// How the update session began.
struct SoftwareUserUpdateState {
    bool userInitiated = false;
};

// What the update service tells the program; all on the main thread.
class SoftwareUpdaterDelegate {
public:
    virtual ~SoftwareUpdaterDelegate() = default;

    virtual void willScheduleUpdateCheckAfterDelay(std::chrono::duration<double> delay) = 0;
    virtual void didFinishUpdateCycle(std::exception_ptr error) = 0;
    virtual bool supportsGentleScheduledUpdateReminders() const = 0;
    virtual void willHandleShowingUpdate(bool handleShowingUpdate, const SoftwareUpdateItem& update,
                                         const SoftwareUserUpdateState& state) = 0;
    virtual void didReceiveUserAttention(const SoftwareUpdateItem& update) = 0;
    virtual void willFinishUpdateSession() = 0;
};

// The standard updater: made stopped, then configured and started; checks on
// its own schedule once started, and when asked.
class SoftwareUpdater {
public:
    virtual ~SoftwareUpdater() = default;

    virtual void setAutomaticallyChecksForUpdates(bool automatically) = 0;
    virtual void startUpdater() = 0;
    virtual void checkForUpdates() = 0;
};

// Makes a stopped updater that reports to `delegate` (held weakly).
using SoftwareUpdaterFactory = std::function<std::shared_ptr<SoftwareUpdater>(
    std::weak_ptr<SoftwareUpdaterDelegate> delegate)>;

// This system has no update service: the updater accepts every call, never
// checks, and never calls its delegate.
class AbsentSoftwareUpdater final : public SoftwareUpdater {
public:
    static SoftwareUpdaterFactory factory();

    void setAutomaticallyChecksForUpdates(bool automatically) override {
        m_automaticallyChecks = automatically;
    }
    void startUpdater() override { m_started = true; }
    void checkForUpdates() override { ++m_checkRequests; }

    bool automaticallyChecks() const { return m_automaticallyChecks; }
    bool isStarted() const { return m_started; }
    int checkRequests() const { return m_checkRequests; }

private:
    bool m_automaticallyChecks = false;
    bool m_started = false;
    int m_checkRequests = 0;
};

} // namespace berthkeep
