#include "Berthkeep/Shell/BerthkeepUpdaterController.hpp"

#include "Berthkeep/Shell/LiveBerthkeepNotificationManager.hpp"
#include "BerthkeepShared/BerthkeepBundleConfiguration.hpp"
#include "BerthkeepShared/BerthkeepRuntimeIdentity.hpp"

namespace berthkeep {

BerthkeepUpdaterController::BerthkeepUpdaterController(
    const PropertyListValue::Dictionary& infoDictionary, const SoftwareUpdaterFactory& makeUpdater,
    std::shared_ptr<BerthkeepUpdaterForegroundPresentationBridge> bridge)
    : m_foregroundPresentationBridge(bridge ? std::move(bridge) : makeLiveBridge())
    , m_isUpdateCommandAvailable(
          BerthkeepBundleConfiguration::hasSparkleUpdateConfiguration(infoDictionary)) {
    if (!m_isUpdateCommandAvailable || !makeUpdater) {
        return;
    }
    std::shared_ptr<SoftwareUpdater> updater = makeUpdater(m_foregroundPresentationBridge);
    if (!updater) {
        return;
    }
    updater->setAutomaticallyChecksForUpdates(true);
    updater->startUpdater();
    m_checkForUpdatesHandler = [updater] {
        updater->checkForUpdates();
    };
}

std::shared_ptr<BerthkeepUpdaterForegroundPresentationBridge>
BerthkeepUpdaterController::makeLiveBridge() {
    return std::make_shared<BerthkeepUpdaterForegroundPresentationBridge>(
        BerthkeepForegroundPresentationCoordinator::shared(),
        LiveBerthkeepNotificationManager::defaultCenter(),
        BerthkeepLogger::live(BerthkeepRuntimeIdentity::currentBundleIdentifier()));
}

void BerthkeepUpdaterController::checkForUpdates() {
    if (!m_checkForUpdatesHandler) {
        return;
    }
    m_foregroundPresentationBridge->beginForegroundPresentation();
    m_foregroundPresentationBridge->coordinator().activateIgnoringOtherApps();
    m_checkForUpdatesHandler();
}

} // namespace berthkeep
