#pragma once

#include "BerthkeepRustBridge/RustBerthkeepCoreTransport.hpp"

namespace berthkeep {

// Stands in when neither the library nor the helper was found.
class MissingRustBerthkeepCoreTransport final : public RustBerthkeepCoreTransport {
public:
    // Always throws transportUnavailable.
    std::string call(RustBerthkeepCoreOperation operation,
                     const std::string& standardInput) override;
};

} // namespace berthkeep
