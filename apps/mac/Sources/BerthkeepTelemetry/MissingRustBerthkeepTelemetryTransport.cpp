#include "BerthkeepTelemetry/MissingRustBerthkeepTelemetryTransport.hpp"

#include "BerthkeepTelemetry/RustBerthkeepTelemetryBridgeError.hpp"

namespace berthkeep {

std::string MissingRustBerthkeepTelemetryTransport::call(const std::string&) {
    throw RustBerthkeepTelemetryBridgeError::transportUnavailable();
}

} // namespace berthkeep
