#include "Berthkeep/Actions/BerthkeepActionCoordinator.hpp"

namespace berthkeep {

BerthkeepActionCoordinator::BerthkeepActionCoordinator(std::shared_ptr<DriveEjecting> ejector,
                                                       std::shared_ptr<BerthkeepCoreHandling> core,
                                                       BerthkeepLogger logger,
                                                       Clock::Duration postEjectRefreshDelay,
                                                       Clock::Duration sleepTriggeredEjectTimeout)
    : m_ejector(std::move(ejector))
    , m_core(std::move(core))
    , m_logger(std::move(logger))
    , m_postEjectRefreshDelay(postEjectRefreshDelay)
    , m_sleepTriggeredEjectTimeout(sleepTriggeredEjectTimeout) {}

} // namespace berthkeep
