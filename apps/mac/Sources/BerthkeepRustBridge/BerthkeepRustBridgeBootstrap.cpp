#include "BerthkeepRustBridge/BerthkeepRustBridgeBootstrap.hpp"

#include "Berthkeep/Domain/SwiftBerthkeepCore.hpp"
#include "BerthkeepRustBridge/RustBerthkeepCore.hpp"

namespace berthkeep {

std::shared_ptr<BerthkeepCoreHandling>
BerthkeepRustBridgeBootstrap::makeCore(BerthkeepRustCoreSelection selection) {
    RustBerthkeepCoreBridge bridge(RustBerthkeepCoreBridge::makeDefaultTransport(
        BerthkeepProcessInfo::current(), BerthkeepFileManager::defaultManager()));
    const auto policy = selection == BerthkeepRustCoreSelection::requireRust
                            ? RustBerthkeepCore::FallbackPolicy::requireRust
                            : RustBerthkeepCore::FallbackPolicy::swiftFallback;
    return std::make_shared<RustBerthkeepCore>(std::move(bridge),
                                               std::make_shared<SwiftBerthkeepCore>(), policy);
}

void BerthkeepRustBridgeBootstrap::registerFactories() {
    // The usage provider maker and its failure classifier come with the
    // activity-monitor bridge; until then those slots keep their defaults.
    BerthkeepRustBridgeRegistry::registerFactories(&BerthkeepRustBridgeBootstrap::makeCore, nullptr,
                                                   nullptr);
}

} // namespace berthkeep
