#pragma once

#include <exception>
#include <memory>

#include "BerthkeepRustBridge/BerthkeepRustBridgeRegistry.hpp"

namespace berthkeep {

// Installs the library-backed factories into the registry. The application calls
// registerFactories() once, on the main thread, before the composition root asks
// for a core ("register" is a keyword in C++).
class BerthkeepRustBridgeBootstrap {
public:
    BerthkeepRustBridgeBootstrap() = delete;

    static void registerFactories();

    // The core maker it installs: a new library-backed core over a freshly chosen
    // transport, with a new in-app core as fallback; requireRust stops the process
    // on a failed call, fallbackToSwift answers in-app.
    static std::shared_ptr<BerthkeepCoreHandling> makeCore(BerthkeepRustCoreSelection selection);

    // The drive-usage maker it installs: the activity-monitor bridge over the
    // library the standard search finds, or an unavailable source holding why not.
    static std::shared_ptr<DriveUsageProviding> makeDriveUsageProvider();
    // Bridge setup failures are unavailable, failed calls setupRequired, any
    // other error (JSON coding included) unknown.
    static BerthkeepRustDriveUsageFailureKind classifyDriveUsageFailure(std::exception_ptr error);
};

} // namespace berthkeep
