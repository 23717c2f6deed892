#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QCoroTask>

#include "Berthkeep/Actions/BerthkeepActionContext.hpp"
#include "Berthkeep/Actions/DriveEjecting.hpp"
#include "Berthkeep/Domain/BerthkeepCoreHandling.hpp"
#include "BerthkeepShared/BerthkeepLogger.hpp"
#include "BerthkeepShared/Clock.hpp"

namespace berthkeep {

// Where every eject attempt begins. It holds only its services and timings; the
// attempt state lives in the store, reached through BerthkeepActionContext.
// Main thread only.
class BerthkeepActionCoordinator final {
public:
    BerthkeepActionCoordinator(std::shared_ptr<DriveEjecting> ejector,
                               std::shared_ptr<BerthkeepCoreHandling> core, BerthkeepLogger logger,
                               Clock::Duration postEjectRefreshDelay,
                               Clock::Duration sleepTriggeredEjectTimeout);

    const std::shared_ptr<DriveEjecting>& ejector() const { return m_ejector; }
    const std::shared_ptr<BerthkeepCoreHandling>& core() const { return m_core; }
    const BerthkeepLogger& logger() const { return m_logger; }
    // The wait after the last eject of an attempt, before the core summarises it.
    Clock::Duration postEjectRefreshDelay() const { return m_postEjectRefreshDelay; }
    // The time-out of each eject.
    Clock::Duration sleepTriggeredEjectTimeout() const { return m_sleepTriggeredEjectTimeout; }

    // The explicit road: one attempt over the named drives. Does nothing while
    // another action runs. The context must outlive the call.
    QCoro::Task<void> runExplicitEject(std::vector<std::string> driveIDs, TriggerReason trigger,
                                       BerthkeepActionContext& context);
    // The planned road: the core picks the drives for the trigger. Does nothing
    // while another action runs. The context must outlive the call.
    QCoro::Task<void> runPlannedTrigger(TriggerReason trigger, BerthkeepActionContext& context);

private:
    std::shared_ptr<DriveEjecting> m_ejector;
    std::shared_ptr<BerthkeepCoreHandling> m_core;
    BerthkeepLogger m_logger;
    Clock::Duration m_postEjectRefreshDelay;
    Clock::Duration m_sleepTriggeredEjectTimeout;
};

} // namespace berthkeep
