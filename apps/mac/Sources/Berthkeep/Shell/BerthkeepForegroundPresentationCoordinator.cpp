#include "Berthkeep/Shell/BerthkeepForegroundPresentationCoordinator.hpp"

#include <QPointer>

#include "platform/Activation/DesktopApplicationActivation.hpp"

namespace berthkeep {

BerthkeepForegroundPresentationCoordinator::BerthkeepForegroundPresentationCoordinator(
    std::shared_ptr<ApplicationActivation> activation)
    : BerthkeepForegroundPresentationCoordinator(
          [activation](ActivationPolicy policy) { activation->setActivationPolicy(policy); },
          [activation] { activation->activateIgnoringOtherApps(); }) {}

BerthkeepForegroundPresentationCoordinator::BerthkeepForegroundPresentationCoordinator(
    SetActivationPolicy setActivationPolicy, ActivateIgnoringOtherApps activateIgnoringOtherApps)
    : m_setActivationPolicy(std::move(setActivationPolicy))
    , m_activateIgnoringOtherAppsHandler(std::move(activateIgnoringOtherApps)) {}

std::shared_ptr<BerthkeepForegroundPresentationCoordinator>
BerthkeepForegroundPresentationCoordinator::shared() {
    static const auto coordinator = std::make_shared<BerthkeepForegroundPresentationCoordinator>(
        std::make_shared<DesktopApplicationActivation>());
    return coordinator;
}

std::unique_ptr<BerthkeepForegroundPresentation>
BerthkeepForegroundPresentationCoordinator::beginPresentation() {
    const QUuid id = QUuid::createUuid();
    const bool wasEmpty = m_activePresentationIDs.empty();
    m_activePresentationIDs.insert(id);
    if (wasEmpty) {
        m_setActivationPolicy(ActivationPolicy::regular);
    }
    return std::make_unique<BerthkeepForegroundPresentation>(
        [coordinator = QPointer<BerthkeepForegroundPresentationCoordinator>(this), id] {
            if (coordinator) {
                coordinator->endPresentation(id);
            }
        });
}

void BerthkeepForegroundPresentationCoordinator::activateIgnoringOtherApps() {
    m_activateIgnoringOtherAppsHandler();
}

void BerthkeepForegroundPresentationCoordinator::endPresentation(const QUuid& id) {
    if (m_activePresentationIDs.erase(id) == 1 && m_activePresentationIDs.empty()) {
        m_setActivationPolicy(ActivationPolicy::accessory);
    }
}

} // namespace berthkeep
