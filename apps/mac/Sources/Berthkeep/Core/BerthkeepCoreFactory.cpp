#include "Berthkeep/Core/BerthkeepCoreFactory.hpp"

#include "Berthkeep/Domain/SwiftBerthkeepCore.hpp"
#include "BerthkeepRustBridge/BerthkeepRustBridgeRegistry.hpp"
#include "BerthkeepShared/BerthkeepStartupAudit.hpp"
#include "platform/Defaults/UserDefaults.hpp"

namespace berthkeep {

BerthkeepCoreImplementation
BerthkeepCoreFactory::resolveImplementation(const BerthkeepProcessInfo::Environment& environment,
                                            const UserDefaults& defaults) {
    if (const auto found = environment.find(environmentKey); found != environment.end()) {
        if (const auto implementation = parseBerthkeepCoreImplementation(found->second)) {
            return *implementation;
        }
    }
    if (const auto stored = defaults.stringForKey(defaultsKey)) {
        if (const auto implementation = parseBerthkeepCoreImplementation(*stored)) {
            return *implementation;
        }
    }
    return BerthkeepCoreImplementation::swift;
}

std::shared_ptr<BerthkeepCoreHandling>
BerthkeepCoreFactory::makeLive(const BerthkeepProcessInfo& processInfo,
                               const UserDefaults& defaults) {
    const auto implementation = resolveImplementation(processInfo.environment, defaults);
    BerthkeepStartupAudit::debug("BerthkeepCoreFactory", "makeLive", std::nullopt,
                                 BerthkeepAuditWorkPhase::appLaunch,
                                 "Resolved live core implementation", std::nullopt,
                                 {{"implementation", toString(implementation)}});
    switch (implementation) {
    case BerthkeepCoreImplementation::swift:
        return std::make_shared<SwiftBerthkeepCore>();
    case BerthkeepCoreImplementation::rust:
        return BerthkeepRustBridgeRegistry::makeCore(BerthkeepRustCoreSelection::fallbackToSwift);
    case BerthkeepCoreImplementation::rustRequired:
        return BerthkeepRustBridgeRegistry::makeCore(BerthkeepRustCoreSelection::requireRust);
    }
    return std::make_shared<SwiftBerthkeepCore>();
}

} // namespace berthkeep
