#pragma once

#include <chrono>
#include <string>

#include "BerthkeepTelemetry/RustBerthkeepTelemetryTransport.hpp"

namespace berthkeep {

// The helper executable with "process-telemetry". The helper uploads, so its
// deadline is generous, but it has one.
class ProcessRustBerthkeepTelemetryTransport final : public RustBerthkeepTelemetryTransport {
public:
    static constexpr const char* operationArgument = "process-telemetry";
    static constexpr std::chrono::milliseconds defaultTimeout{120000};

    explicit ProcessRustBerthkeepTelemetryTransport(
        std::string executableURL, std::chrono::milliseconds timeout = defaultTimeout);

    // Status 0 gives standard output. Any other end throws processFailed with the
    // status (or signal number) and standard error as UTF-8 (invalid sequences
    // replaced, not trimmed); an output past the runner's limit throws
    // processFailed whatever the status.
    std::string call(const std::string& standardInput) override;

    const std::string& executableURL() const noexcept { return m_executableURL; }

private:
    std::string m_executableURL;
    std::chrono::milliseconds m_timeout;
};

} // namespace berthkeep
