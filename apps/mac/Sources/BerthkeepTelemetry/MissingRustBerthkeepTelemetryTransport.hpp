#pragma once

#include <string>

#include "BerthkeepTelemetry/RustBerthkeepTelemetryTransport.hpp"

namespace berthkeep {

// Stands in when neither the library nor the helper was found.
class MissingRustBerthkeepTelemetryTransport final : public RustBerthkeepTelemetryTransport {
public:
    // Always throws transportUnavailable.
    std::string call(const std::string& standardInput) override;
};

} // namespace berthkeep
