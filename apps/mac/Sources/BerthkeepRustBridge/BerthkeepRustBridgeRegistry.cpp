#include "BerthkeepRustBridge/BerthkeepRustBridgeRegistry.hpp"

#include <mutex>

#include "Berthkeep/Domain/SwiftBerthkeepCore.hpp"
#include "Berthkeep/Drive/UnavailableDriveUsageProvider.hpp"
#include "BerthkeepRustBridge/MissingRequiredRustBerthkeepCore.hpp"

namespace berthkeep {

namespace {

std::shared_ptr<BerthkeepCoreHandling> defaultCore(BerthkeepRustCoreSelection selection) {
    switch (selection) {
    case BerthkeepRustCoreSelection::fallbackToSwift:
        return std::make_shared<SwiftBerthkeepCore>();
    case BerthkeepRustCoreSelection::requireRust:
        return std::make_shared<MissingRequiredRustBerthkeepCore>();
    }
    return std::make_shared<SwiftBerthkeepCore>();
}

std::shared_ptr<DriveUsageProviding> defaultDriveUsageProvider() {
    return std::make_shared<UnavailableDriveUsageProvider>(
        std::make_exception_ptr(BerthkeepRustBridgeUnavailableError()));
}

BerthkeepRustDriveUsageFailureKind defaultClassification(std::exception_ptr) {
    return BerthkeepRustDriveUsageFailureKind::unknown;
}

struct Slots {
    BerthkeepRustBridgeRegistry::CoreMaker makeCore = defaultCore;
    BerthkeepRustBridgeRegistry::DriveUsageProviderMaker makeDriveUsageProvider =
        defaultDriveUsageProvider;
    BerthkeepRustBridgeRegistry::DriveUsageFailureClassifier classifyDriveUsageFailure =
        defaultClassification;
    bool hasDriveUsageProviderMaker = false;
};

// Written once at start-up and read afterwards; the lock only guards the copy, never
// a call, so a maker may itself use the registry.
std::mutex& slotsMutex() {
    static std::mutex mutex;
    return mutex;
}

Slots& registrySlots() {
    static Slots storage;
    return storage;
}

Slots currentSlots() {
    std::lock_guard lock(slotsMutex());
    return registrySlots();
}

} // namespace

void BerthkeepRustBridgeRegistry::registerFactories(
    CoreMaker makeCore, DriveUsageProviderMaker makeDriveUsageProvider,
    DriveUsageFailureClassifier classifyDriveUsageFailure) {
    Slots replacement;
    if (makeCore) {
        replacement.makeCore = std::move(makeCore);
    }
    if (makeDriveUsageProvider) {
        replacement.makeDriveUsageProvider = std::move(makeDriveUsageProvider);
        replacement.hasDriveUsageProviderMaker = true;
    }
    if (classifyDriveUsageFailure) {
        replacement.classifyDriveUsageFailure = std::move(classifyDriveUsageFailure);
    }
    std::lock_guard lock(slotsMutex());
    registrySlots() = std::move(replacement);
}

std::shared_ptr<BerthkeepCoreHandling>
BerthkeepRustBridgeRegistry::makeCore(BerthkeepRustCoreSelection selection) {
    return currentSlots().makeCore(selection);
}

std::shared_ptr<DriveUsageProviding> BerthkeepRustBridgeRegistry::makeDriveUsageProvider() {
    return currentSlots().makeDriveUsageProvider();
}

bool BerthkeepRustBridgeRegistry::hasDriveUsageProviderMaker() {
    return currentSlots().hasDriveUsageProviderMaker;
}

BerthkeepRustDriveUsageFailureKind
BerthkeepRustBridgeRegistry::classifyDriveUsageFailure(std::exception_ptr error) {
    return currentSlots().classifyDriveUsageFailure(std::move(error));
}

void BerthkeepRustBridgeRegistry::resetForTesting() {
    std::lock_guard lock(slotsMutex());
    registrySlots() = Slots{};
}

} // namespace berthkeep
