#pragma once

#include <QObject>
#include <QUuid>

#include <functional>
#include <memory>
#include <set>

#include "Berthkeep/Shell/BerthkeepForegroundPresentation.hpp"
#include "platform/Activation/ApplicationActivation.hpp"

namespace berthkeep {

// The one place that changes the activation policy. It counts the windows that
// need the regular application chrome (settings, updater) and switches to
// regular when the first begins and back to accessory when the last ends.
// Beginning never activates the program or orders a window: callers that want
// the front call activateIgnoringOtherApps() themselves. Main thread only.
class BerthkeepForegroundPresentationCoordinator final : public QObject {
public:
    using SetActivationPolicy = std::function<void(ActivationPolicy)>;
    using ActivateIgnoringOtherApps = std::function<void()>;

    // activation must not be null.
    explicit BerthkeepForegroundPresentationCoordinator(
        std::shared_ptr<ApplicationActivation> activation);
    BerthkeepForegroundPresentationCoordinator(SetActivationPolicy setActivationPolicy,
                                               ActivateIgnoringOtherApps activateIgnoringOtherApps);

    // The coordinator of the running program, over the desktop's activation;
    // made on first use and kept for the life of the process.
    static std::shared_ptr<BerthkeepForegroundPresentationCoordinator> shared();

    // The token holds the coordinator weakly: ending it after the coordinator
    // is gone does nothing.
    std::unique_ptr<BerthkeepForegroundPresentation> beginPresentation();
    void activateIgnoringOtherApps();

    std::size_t activePresentationCount() const { return m_activePresentationIDs.size(); }

private:
    void endPresentation(const QUuid& id);

    SetActivationPolicy m_setActivationPolicy;
    ActivateIgnoringOtherApps m_activateIgnoringOtherAppsHandler;
    std::set<QUuid> m_activePresentationIDs;
};

} // namespace berthkeep
