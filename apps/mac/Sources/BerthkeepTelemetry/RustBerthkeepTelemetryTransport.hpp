#pragma once

#include <string>

namespace berthkeep {

// Carries one encoded telemetry request to the core and brings the raw response
// back. Synchronous on the caller's thread; failures are thrown
// (RustBerthkeepTelemetryBridgeError, or the runner's ProcessLaunchError).
class RustBerthkeepTelemetryTransport {
public:
    virtual ~RustBerthkeepTelemetryTransport() = default;
    virtual std::string call(const std::string& standardInput) = 0;
};

} // namespace berthkeep
