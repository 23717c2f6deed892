#pragma once

#include <string>

#include "BerthkeepRustBridge/RustBerthkeepCoreOperation.hpp"

namespace berthkeep {

// Carries one encoded request of the core bridge to the separately built core and
// brings the raw response back. Calls are synchronous on the caller's thread and
// take no lock; failures are thrown (RustBerthkeepCoreBridgeError, or the
// platform's error when a helper cannot be started). No transport logs.
class RustBerthkeepCoreTransport {
public:
    virtual ~RustBerthkeepCoreTransport() = default;

    virtual std::string call(RustBerthkeepCoreOperation operation,
                             const std::string& standardInput) = 0;
};

} // namespace berthkeep
