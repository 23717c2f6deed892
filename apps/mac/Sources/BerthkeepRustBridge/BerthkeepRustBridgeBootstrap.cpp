#include "BerthkeepRustBridge/BerthkeepRustBridgeBootstrap.hpp"

#include "Berthkeep/Domain/SwiftBerthkeepCore.hpp"
#include "BerthkeepRustBridge/RustBerthkeepCore.hpp"
#include "BerthkeepRustBridge/RustDriveUsageProvider.hpp"

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

// --- Drive usage: the activity-monitor bridge and the classification of its errors.

std::shared_ptr<DriveUsageProviding> BerthkeepRustBridgeBootstrap::makeDriveUsageProvider() {
    return RustDriveUsageProvider::makeDefault(BerthkeepProcessInfo::current(),
                                               BerthkeepFileManager::defaultManager());
}

BerthkeepRustDriveUsageFailureKind
BerthkeepRustBridgeBootstrap::classifyDriveUsageFailure(std::exception_ptr error) {
    if (!error) {
        return BerthkeepRustDriveUsageFailureKind::unknown;
    }
    try {
        std::rethrow_exception(error);
    } catch (const RustDriveUsageProvider::Error& usageError) {
        using Case = RustDriveUsageProvider::Error::Case;
        switch (usageError.errorCase()) {
        case Case::symbolMissing:
        case Case::dlopenFailed:
        case Case::createFailed:
        case Case::libraryNotFound:
            return BerthkeepRustDriveUsageFailureKind::unavailable;
        case Case::updateFailed:
        case Case::snapshotFailed:
        case Case::invalidSnapshot:
            return BerthkeepRustDriveUsageFailureKind::setupRequired;
        }
    } catch (...) {
    }
    return BerthkeepRustDriveUsageFailureKind::unknown;
}

void BerthkeepRustBridgeBootstrap::registerFactories() {
    BerthkeepRustBridgeRegistry::registerFactories(
        &BerthkeepRustBridgeBootstrap::makeCore,
        &BerthkeepRustBridgeBootstrap::makeDriveUsageProvider,
        &BerthkeepRustBridgeBootstrap::classifyDriveUsageFailure);
}

} // namespace berthkeep
