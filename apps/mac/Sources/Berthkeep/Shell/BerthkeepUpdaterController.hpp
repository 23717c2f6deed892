#pragma once

#include <functional>
#include <memory>

#include "platform/PropertyList/PropertyListValue.hpp"
#include "platform/Updater/SoftwareUpdater.hpp"

namespace berthkeep {

// Starts the updater when the bundle names an update feed and signing key
// (SUFeedURL and SUPublicEDKey, both non-empty strings), with automatic checks;
// without both the updater is never made and the check command is absent.
// Whether it is available is fixed at creation. Main thread only.
class BerthkeepUpdaterController {
public:
    // delegate: where the updater reports; may be null. beforeUserCheck runs
    // before a user's check reaches the updater (bringing the program forward).
    BerthkeepUpdaterController(const PropertyListValue::Dictionary& infoDictionary,
                               const SoftwareUpdaterFactory& makeUpdater,
                               std::shared_ptr<SoftwareUpdaterDelegate> delegate = nullptr,
                               std::function<void()> beforeUserCheck = {});

    bool isUpdateCommandAvailable() const { return m_isUpdateCommandAvailable; }
    // The user's check; nothing when the updater was not started.
    void checkForUpdates();

private:
    std::shared_ptr<SoftwareUpdaterDelegate> m_delegate;
    std::function<void()> m_beforeUserCheck;
    // The only owner of the started updater.
    std::function<void()> m_checkForUpdatesHandler;
    bool m_isUpdateCommandAvailable;
};

} // namespace berthkeep
