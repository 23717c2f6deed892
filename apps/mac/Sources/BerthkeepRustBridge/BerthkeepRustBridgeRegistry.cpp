#include "BerthkeepRustBridge/BerthkeepRustBridgeRegistry.hpp"

#include <mutex>

#include "Berthkeep/Domain/SwiftBerthkeepCore.hpp"
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

BerthkeepRustDriveUsageFailureKind defaultClassification(std::exception_ptr) {
    return BerthkeepRustDriveUsageFailureKind::unknown;
}

struct Slots {
    BerthkeepRustBridgeRegistry::CoreMaker makeCore = defaultCore;
    BerthkeepRustBridgeRegistry::DriveUsageProviderMaker makeDriveUsageProvider;
    BerthkeepRustBridgeRegistry::DriveUsageFailureClassifier classifyDriveUsageFailure =
        defaultClassification;
};

// Written once at start-up and read afterwards; the lock only guards the copy, never
// a call, so a maker may itself use the registry.
std::mutex& slotsMutex() {
    static std::mutex mutex;
    return mutex;
}

Slots& slots() {
    static Slots storage;
    return storage;
}

Slots currentSlots() {
    std::lock_guard lock(slotsMutex());
    return slots();
}

} // namespace

void BerthkeepRustBridgeRegistry::registerFactories(
    CoreMaker makeCore, DriveUsageProviderMaker makeDriveUsageProvider,
    DriveUsageFailureClassifier classifyDriveUsageFailure) {
    Slots replacement;
    if (makeCore) {
        replacement.makeCore = std::move(makeCore);
    }
    replacement.makeDriveUsageProvider = std::move(makeDriveUsageProvider);
    if (classifyDriveUsageFailure) {
        replacement.classifyDriveUsageFailure = std::move(classifyDriveUsageFailure);
    }
    std::lock_guard lock(slotsMutex());
    slots() = std::move(replacement);
}

std::shared_ptr<BerthkeepCoreHandling>
BerthkeepRustBridgeRegistry::makeCore(BerthkeepRustCoreSelection selection) {
    return currentSlots().makeCore(selection);
}

std::shared_ptr<DriveUsageProviding> BerthkeepRustBridgeRegistry::makeDriveUsageProvider() {
    const auto maker = currentSlots().makeDriveUsageProvider;
    if (!maker) {
        return nullptr;
    }
    return maker();
}

bool BerthkeepRustBridgeRegistry::hasDriveUsageProviderMaker() {
    return static_cast<bool>(currentSlots().makeDriveUsageProvider);
}

BerthkeepRustDriveUsageFailureKind
BerthkeepRustBridgeRegistry::classifyDriveUsageFailure(std::exception_ptr error) {
    return currentSlots().classifyDriveUsageFailure(std::move(error));
}

void BerthkeepRustBridgeRegistry::resetForTesting() {
    std::lock_guard lock(slotsMutex());
    slots() = Slots{};
}

} // namespace berthkeep
