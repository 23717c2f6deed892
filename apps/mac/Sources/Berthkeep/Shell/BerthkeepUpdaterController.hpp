#pragma once

#include <functional>
#include <memory>

#include "Berthkeep/Shell/BerthkeepUpdaterForegroundPresentationBridge.hpp"
#include "platform/PropertyList/PropertyListValue.hpp"
#include "platform/Updater/SoftwareUpdater.hpp"

namespace berthkeep {

// Starts the updater when the bundle names an update feed and signing key
// (SUFeedURL and SUPublicEDKey, both non-empty strings), with automatic checks
// and the bridge as its delegate; without both the updater is never made and
// the check command is absent. Whether it is available is fixed at creation.
// Main thread only.
class BerthkeepUpdaterController {
public:
    // bridge: by default one over the shared coordinator and, inside an
    // application bundle, the system's notification centre.
    BerthkeepUpdaterController(
        const PropertyListValue::Dictionary& infoDictionary,
        const SoftwareUpdaterFactory& makeUpdater,
        std::shared_ptr<BerthkeepUpdaterForegroundPresentationBridge> bridge = nullptr);

    bool isUpdateCommandAvailable() const { return m_isUpdateCommandAvailable; }
    // The user's check: brings the program forward, then asks the updater;
    // nothing when the updater was not started.
    void checkForUpdates();

private:
    static std::shared_ptr<BerthkeepUpdaterForegroundPresentationBridge> makeLiveBridge();

    std::shared_ptr<BerthkeepUpdaterForegroundPresentationBridge> m_foregroundPresentationBridge;
    // The only owner of the started updater.
    std::function<void()> m_checkForUpdatesHandler;
    bool m_isUpdateCommandAvailable;
};

} // namespace berthkeep
