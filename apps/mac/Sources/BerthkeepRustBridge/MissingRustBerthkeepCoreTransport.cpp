#include "BerthkeepRustBridge/MissingRustBerthkeepCoreTransport.hpp"

#include "BerthkeepRustBridge/RustBerthkeepCoreBridgeError.hpp"

namespace berthkeep {

std::string MissingRustBerthkeepCoreTransport::call(RustBerthkeepCoreOperation,
                                                    const std::string&) {
    throw RustBerthkeepCoreBridgeError::transportUnavailable();
}

} // namespace berthkeep
