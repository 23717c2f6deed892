#pragma once

#include <memory>

#include "Berthkeep/Core/BerthkeepCoreImplementation.hpp"
#include "Berthkeep/Domain/BerthkeepCoreHandling.hpp"
#include "BerthkeepShared/BerthkeepProcessInfo.hpp"

namespace berthkeep {

class UserDefaults;

// Builds the live decision core from the configured implementation. Called on the
// main thread; never fails: an unrecognised setting falls back, and a missing
// library is the registered core maker's business.
class BerthkeepCoreFactory {
public:
    static constexpr const char* environmentKey = "BERTHKEEP_CORE_IMPLEMENTATION";
    static constexpr const char* defaultsKey = "berthkeep.coreImplementation";

    BerthkeepCoreFactory() = delete;

    // The environment value when it parses, else the user default when it parses,
    // else swift.
    static BerthkeepCoreImplementation
    resolveImplementation(const BerthkeepProcessInfo::Environment& environment,
                          const UserDefaults& defaults);

    // swift builds the in-app core without touching the registry; rust and
    // rustRequired ask the registry (fallbackToSwift, requireRust).
    static std::shared_ptr<BerthkeepCoreHandling> makeLive(const BerthkeepProcessInfo& processInfo,
                                                           const UserDefaults& defaults);
};

} // namespace berthkeep
