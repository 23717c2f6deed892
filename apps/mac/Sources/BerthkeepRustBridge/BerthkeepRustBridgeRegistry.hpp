#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>

#include "Berthkeep/Domain/BerthkeepCoreHandling.hpp"

namespace berthkeep {

class DriveUsageProviding;

// What the core factory asks the registry for.
enum class BerthkeepRustCoreSelection { fallbackToSwift, requireRust };

// How a failure of the drive-usage provider is classified.
enum class BerthkeepRustDriveUsageFailureKind { unavailable, setupRequired, unknown };

// Thrown by the default drive-usage provider while no bridge is registered.
class BerthkeepRustBridgeUnavailableError final : public std::runtime_error {
public:
    BerthkeepRustBridgeUnavailableError()
        : std::runtime_error("BerthkeepRustBridgeUnavailableError") {}
};

// The late-bound switchboard through which the program obtains services backed by
// the core library. The bridge bootstrap fills the three slots once, on the main
// thread at start-up; until then each slot answers with a substitute that works
// without the library. The callables may be invoked from any thread.
class BerthkeepRustBridgeRegistry {
public:
    using CoreMaker =
        std::function<std::shared_ptr<BerthkeepCoreHandling>(BerthkeepRustCoreSelection)>;
    using DriveUsageProviderMaker = std::function<std::shared_ptr<DriveUsageProviding>()>;
    using DriveUsageFailureClassifier =
        std::function<BerthkeepRustDriveUsageFailureKind(std::exception_ptr)>;

    BerthkeepRustBridgeRegistry() = delete;

    // Replaces all three slots at once ("register" is a keyword in C++). An empty
    // callable leaves that slot at its default.
    static void registerFactories(CoreMaker makeCore,
                                  DriveUsageProviderMaker makeDriveUsageProvider,
                                  DriveUsageFailureClassifier classifyDriveUsageFailure);

    // Default: fallbackToSwift gives a new SwiftBerthkeepCore, requireRust a
    // MissingRequiredRustBerthkeepCore (which stops the process when used).
    static std::shared_ptr<BerthkeepCoreHandling> makeCore(BerthkeepRustCoreSelection selection);

    // Default: an UnavailableDriveUsageProvider that fails every call with
    // BerthkeepRustBridgeUnavailableError.
    static std::shared_ptr<DriveUsageProviding> makeDriveUsageProvider();
    static bool hasDriveUsageProviderMaker();

    // Default: unknown for every error.
    static BerthkeepRustDriveUsageFailureKind classifyDriveUsageFailure(std::exception_ptr error);

    // Back to the defaults (tests).
    static void resetForTesting();
};

} // namespace berthkeep
