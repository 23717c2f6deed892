#include "Berthkeep/Shell/BerthkeepUpdaterController.hpp"

#include "BerthkeepShared/BerthkeepBundleConfiguration.hpp"

namespace berthkeep {

BerthkeepUpdaterController::BerthkeepUpdaterController(
    const PropertyListValue::Dictionary& infoDictionary, const SoftwareUpdaterFactory& makeUpdater,
    std::shared_ptr<SoftwareUpdaterDelegate> delegate, std::function<void()> beforeUserCheck)
    : m_delegate(std::move(delegate))
    , m_beforeUserCheck(std::move(beforeUserCheck))
    , m_isUpdateCommandAvailable(
          BerthkeepBundleConfiguration::hasSparkleUpdateConfiguration(infoDictionary)) {
    if (!m_isUpdateCommandAvailable || !makeUpdater) {
        return;
    }
    std::shared_ptr<SoftwareUpdater> updater = makeUpdater(m_delegate);
    if (!updater) {
        return;
    }
    updater->setAutomaticallyChecksForUpdates(true);
    updater->startUpdater();
    m_checkForUpdatesHandler = [updater] {
        updater->checkForUpdates();
    };
}

void BerthkeepUpdaterController::checkForUpdates() {
    if (!m_checkForUpdatesHandler) {
        return;
    }
    if (m_beforeUserCheck) {
        m_beforeUserCheck();
    }
    m_checkForUpdatesHandler();
}

} // namespace berthkeep
