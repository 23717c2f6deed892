#include "BerthkeepRustBridge/RustBerthkeepCoreTransport.hpp"

namespace berthkeep {

std::string MissingRustBerthkeepCoreTransport::call(RustBerthkeepCoreOperation,
                                                    const std::string&) {
    throw RustBerthkeepCoreBridgeError::transportUnavailable();
}

} // namespace berthkeep
